/* The effect library is built from the host-binding archive; this unit only gives the shared
   library target a source of its own. */
typedef int zonepainter_effect_library_unit;
