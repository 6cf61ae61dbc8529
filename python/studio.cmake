# Zonepainter Studio (zonepainter.studio): its Python files and the page's static files are
# copied into the build tree's package, so `python3 -m zonepainter.studio` runs from build/python
# as it does from an installed package.
set(zp_studio_dir ${CMAKE_CURRENT_SOURCE_DIR}/zonepainter/studio)
file(GLOB_RECURSE zp_studio_files CONFIGURE_DEPENDS RELATIVE ${zp_studio_dir}
     ${zp_studio_dir}/*.py ${zp_studio_dir}/static/*)
set(zp_studio_copies)
foreach(rel IN LISTS zp_studio_files)
  set(src ${zp_studio_dir}/${rel})
  set(dst ${ZP_PYTHON_DIR}/zonepainter/studio/${rel})
  add_custom_command(OUTPUT ${dst} COMMAND ${CMAKE_COMMAND} -E copy ${src} ${dst}
                     DEPENDS ${src} VERBATIM)
  list(APPEND zp_studio_copies ${dst})
  get_filename_component(sub ${rel} DIRECTORY)
  install(FILES ${src} DESTINATION ${ZP_PYTHON_INSTALL_DIR}/zonepainter/studio/${sub})
endforeach()
add_custom_target(zp_studio_files ALL DEPENDS ${zp_studio_copies})
add_dependencies(zp_python zp_studio_files)
