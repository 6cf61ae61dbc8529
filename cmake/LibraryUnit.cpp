// Gives every static library at least one translation unit while its folder fills up.
namespace zp_library_unit {}
