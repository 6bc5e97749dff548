#include "commands.h"

#include <cstddef>
#include <cstdio>
#include <string>

#include "config/arch.h"
#include "config_printer.h"
#include "platform/text.h"
#include "settings_store.h"

namespace hmxplay {

using namespace tavren;

const char* DefaultInstrumentFile() {
#if defined(_WIN32)
    return "tone.dll";
#else
    return "tone.so";
#endif
}

bool IsPluginKey(const std::string& key) {
    const std::string arch = "_" TAVREN_ARCH_NAME;
    for (const char* base : {"VSTiPath", "SampleRate", "Volume", "Reset", "Cache", "VSTiBridge"})
        if (key == base + arch) return true;
    for (const char* plain : {"ShowEditor", "EditorPos", "SampleRate_", "Volume_", "Reset_", "Cache_"})
        if (key == plain) return true;
    // VSTi_x86_01 .. VSTi_x86_10, each alone or with a field's suffix.
    const std::string prefix = "VSTi" + arch + "_";
    if (key.compare(0, prefix.size(), prefix) != 0 || key.size() < prefix.size() + 2) return false;
    const std::string number = key.substr(prefix.size(), 2);
    if (number != "10" && !(number[0] == '0' && number[1] >= '1' && number[1] <= '9')) return false;
    const std::string suffix = key.substr(prefix.size() + 2);
    for (const char* field : {"", "_Desc", "_Rate", "_Vol", "_Reset", "_Cache"})
        if (suffix == field) return true;
    return false;
}

static std::string GuidText(const HmxGuid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

static int Info(IHmxDecoderModule* module) {
    HmxModuleInfo* info = nullptr;
    module->GetModuleInfo(&info);
    if (!info) {
        std::printf("error: no module information\n");
        return 1;
    }
    auto text = [](const HmxChar* s) { return s ? EscapeForLine(s) : std::string("<null>"); };
    std::printf("size: %u\n", info->size);
    std::printf("field4: %u\nfield8: %u\nfield12: %u\n", info->value200, info->value12, info->zero12);
    std::printf("guid: %s\n", GuidText(info->moduleGuid).c_str());
    std::printf("description: %s\n", text(info->description).c_str());
    std::printf("copyright: %s\n", text(info->copyright).c_str());
    std::printf("extensions: %s\n", text(info->extensions).c_str());
    // Named by their offsets, which the 64-bit record's wider pointers move.
    std::printf("field%u: %s\n", static_cast<unsigned>(offsetof(HmxModuleInfo, empty)), text(info->empty).c_str());
    std::printf("field%u: %u\n", static_cast<unsigned>(offsetof(HmxModuleInfo, value1)), info->value1);
    return 0;
}

static int Describe(IHmxDecoderModule* module) {
    ConfigPrinter printer;
    int32_t result = module->DescribeConfig(&printer);
    // The result line comes first, though it is known only after the records.
    std::printf("result %d\n", result);
    std::fwrite(printer.Lines().data(), 1, printer.Lines().size(), stdout);
    return 0;
}

static int Apply(const Options& options, IHmxDecoderModule* module) {
    std::u16string key = FromUtf8(options.args[0]);
    if (options.args[0] == "\"\"") key.clear();
    // An empty argument is easily lost between scripts: "" also stands for it.
    std::u16string value = options.args[1] == "\"\"" ? u"" : FromUtf8(options.args[1]);
    int32_t result = module->ApplyConfig(options.section.c_str(), key.c_str(), 0, 0, 0, 0, value.c_str());
    std::printf("result %d\n", result);
    return 0;
}

namespace {

const char kInfoHelp[] =
    "usage: hmxplay [OPTIONS] info\n"
    "Prints the module information the plug-in gives the host player, one field\n"
    "a line. Reads the settings file but never writes it.\n";
const char kDescribeHelp[] =
    "usage: hmxplay [OPTIONS] describe\n"
    "Prints the result of DescribeConfig and then the configuration page the\n"
    "plug-in declares: its section and one line per item, fields tab-separated.\n"
    "Whatever the plug-in stores meanwhile (default presets) is saved.\n";
const char kApplyHelp[] =
    "usage: hmxplay [OPTIONS] apply KEY VALUE\n"
    "Calls ApplyConfig with KEY and VALUE in section General (or --section NAME)\n"
    "and prints \"result N\", as the host player does when the user changes a value\n"
    "or runs a command (KEY Info or Reload). \"\" stands for an empty KEY or VALUE.\n"
    "The keys the plug-in changes are saved; every other line stays as it was.\n";

bool WantsHelp(const std::vector<std::string>& args, bool anywhere) {
    for (size_t i = 0; i < args.size() && (anywhere || i == 0); ++i)
        if (args[i] == "--help" || args[i] == "-h") return true;
    return false;
}

}  // namespace

const char* CommandHelp(const Options& options) {
    const std::string& c = options.command;
    if (c == "info" && WantsHelp(options.args, true)) return kInfoHelp;
    if (c == "describe" && WantsHelp(options.args, true)) return kDescribeHelp;
    if (c == "apply" && WantsHelp(options.args, false)) return kApplyHelp;
    if (c == "render" && WantsHelp(options.args, true)) return kRenderHelp;
    return nullptr;
}

bool CheckArguments(const Options& options, std::string* problem) {
    const std::string& c = options.command;
    size_t n = options.args.size();
    if (c == "render") return CheckRenderArguments(options.args, problem);
    if (c != "info" && c != "describe" && c != "apply") {
        *problem = "unknown command '" + c + "'";
        return false;
    }
    size_t wanted = c == "apply" ? 2 : 0;
    if (n != wanted) {
        *problem = c + " takes " + (wanted ? "two arguments, KEY and VALUE" : "no arguments") + ", not " +
                   std::to_string(n);
        return false;
    }
    return true;
}

int RunCommand(const Options& options, IHmxDecoderModule* module, SettingsStore*) {
    if (options.command == "info") return Info(module);
    if (options.command == "describe") return Describe(module);
    if (options.command == "apply") return Apply(options, module);
    if (options.command == "render") return RunRender(options.args, module);
    return 2;
}

}  // namespace hmxplay
