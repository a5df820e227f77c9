#include "common/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "common/failure.h"
#include "common/version.h"

namespace i2m {

void add_standard_flags(CLI::App& app, const std::string& name) {
  app.name(name);
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.set_version_flag("--version", name + " " + project_version(), "Print the version and exit");
}

CLI::Validator positive_number() {
  return CLI::Validator(
      [](std::string& text) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        const bool number = !text.empty() && end == text.c_str() + text.size();
        return number && value > 0 && value <= 1e30 ? std::string() : text + " is not a positive number";
      },
      "");
}

std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitSuccess;
  } catch (const CLI::CallForVersion& v) {
    std::printf("%s\n", v.what());
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "%s: %s (see --help)\n", app.get_name().c_str(), e.what());
    return kExitFileError;
  }
  return std::nullopt;
}

}  // namespace i2m
