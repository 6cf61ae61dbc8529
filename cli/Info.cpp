#include "cli/Commands.h"
#include "cli/EffectDescription.h"
#include "headless/Host.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

namespace zpcli {

std::string defaultPluginPath(const char* argv0) {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = std::filesystem::absolute(argv0);
    return (self.parent_path() / "Zonepainter.so").string();
}

namespace {

std::string describe(const headless::DeclaredParam& p) {
    std::ostringstream s;
    const PF_ParamDef& d = p.def;
    switch (d.param_type) {
    case PF_Param_FLOAT_SLIDER:
        s << d.u.fs_d.valid_min << " .. " << d.u.fs_d.valid_max << ", default "
          << d.u.fs_d.dephault;
        break;
    case PF_Param_COLOR: {
        const PF_Pixel c = d.u.cd.dephault;
        s << "default #" << std::hex << std::setfill('0') << std::setw(2) << int(c.red)
          << std::setw(2) << int(c.green) << std::setw(2) << int(c.blue);
        break;
    }
    case PF_Param_POPUP:
        s << p.popupChoices << ", default " << d.u.pd.dephault;
        break;
    case PF_Param_CHECKBOX:
        s << "default " << (d.u.bd.dephault ? "on" : "off");
        break;
    case PF_Param_PATH:
        s << "default none";
        break;
    default:
        break;
    }
    return s.str();
}

} // namespace

int runInfo(const std::string& pluginPath, std::ostream& out) {
    const EffectDescription d = describeEffect(headless::Plugin::loadEffectLibrary(pluginPath));
    out << d.about << "\n";
    out << d.numParams << " parameters\n";
    out << std::setw(5) << 0 << "  " << std::left << std::setw(28) << "(input layer)"
        << std::setw(9) << "layer" << std::right << "\n";
    int depth = 0;
    for (size_t i = 0; i < d.params.size(); ++i) {
        const auto& p = d.params[i];
        if (p.def.param_type == PF_Param_GROUP_END)
            --depth;
        const std::string name = std::string(static_cast<size_t>(2 * depth), ' ') +
                                 (p.def.param_type == PF_Param_GROUP_END ? "(end)" : p.def.name);
        out << std::setw(5) << i + 1 << "  " << std::left << std::setw(28) << name << std::setw(9)
            << paramKindName(p.def.param_type) << std::right << describe(p) << "\n";
        if (p.def.param_type == PF_Param_GROUP_START)
            ++depth;
    }
    return 0;
}

} // namespace zpcli
