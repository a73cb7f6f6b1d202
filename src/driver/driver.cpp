// The converter driver: banner, command line or prompts, reading the input
// file, naming and opening the output, and the dispatch to the five modes.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "anim/seq_export.h"
#include "cob/container.h"
#include "diag/diagnostics.h"
#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/session.h"
#include "driver/typed_line.h"
#include "io/platform.h"
#include "io/version.h"

namespace facetor {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitCannotOpenInput = 1;
constexpr int kExitCannotWriteOutput = 2;
constexpr int kExitScreenMode = 3;
constexpr int kExitUnknownMode = 4;
constexpr int kExitNoMemory = 5;

enum class Regime { CommandLine, Interactive };

// What follows one file: the exit code that ends the program, or (interactive
// regime) nothing, and the next file is asked for.
using Outcome = std::optional<int>;

// The file being processed: its name, which file it is, and its bytes.
struct Input {
  const std::string& name;
  platform::FileIdentity identity;
  LargeVector<std::uint8_t> bytes;
  bool binaryCob = false;  // the bytes pass the header check
};

Outcome end_or_next(Regime regime, int code) {
  if (regime == Regime::CommandLine) return code;
  return std::nullopt;
}

// One line on standard error, "facetor: ...". It starts on a line of its
// own: where standard output stopped inside a line (the header messages end
// without one), a line end comes first.
void report_line(Session& session, const char* format, std::va_list args) {
  out_flush(session.console);  // so that a terminal shows both in order
  if (!session.console.lineEnded) out_put(session.errors, '\n');
  out_write(session.errors, "facetor: ");
  out_vprintf(session.errors, format, args);
  out_put(session.errors, '\n');
  out_flush(session.errors);
}

// What a person needs to know about the file beside the classic messages.
void report(Session& session, const char* format, ...) FACETOR_PRINTF_FORMAT(2, 3);
void report(Session& session, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  report_line(session, format, args);
  va_end(args);
}

// Why the program stopped, in the command-line regime, where standard output
// says nothing of it; at the prompts, standard output tells.
void explain(Session& session, Regime regime, const char* format, ...) FACETOR_PRINTF_FORMAT(3, 4);
void explain(Session& session, Regime regime, const char* format, ...) {
  if (regime != Regime::CommandLine) return;
  std::va_list args;
  va_start(args, format);
  report_line(session, format, args);
  va_end(args);
}

// The file modes write an output whatever the file holds; say so when it
// fails the header check, so that an exit code of 0 is not read as a model.
void explain_no_model(Session& session, Regime regime, const Input& input, const std::string& outputName) {
  if (regime == Regime::CommandLine && !input.binaryCob) {
    explain(session, regime, "'%s' is not a binary COB file; '%s' holds no model", input.name.c_str(),
            outputName.c_str());
  }
}

// Mode A's findings that its progress lines leave unsaid: channels that went
// nowhere (each printed one duplicate line) and the built-in stand-in.
void summarise_animation(Session& session, const AnimationSummary& summary) {
  if (summary.unmatchedChannels > 0) {
    const long long count = summary.unmatchedChannels;
    report(session,
           "%lld Chan chunk%s matched no limb: a channel belongs to an earlier object named \"qz_\" and a joint "
           "name, one to a limb (two to the pelvis)",
           count, count == 1 ? "" : "s");
  }
  if (summary.builtInRotation) {
    report(session, "%s; the sequence holds the built-in \"dummy\" channel",
           summary.anyLimb ? "no limb has a rotation channel" : "no object is named as a limb (\"qz_\" and a joint name)");
  }
}

// Prints a prompt and reads the answer; false at end of input.
bool ask(Session& session, const char* prompt, std::string& answer) {
  out_write(session.console, prompt);
  out_flush(session.console);
  return read_typed_line(session.input, answer);
}

char upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The upper-cased first character of a mode answer or parameter; an empty
// text gives 0, which is no known mode.
char mode_letter(const std::string& text) { return text.empty() ? '\0' : upper_ascii(text[0]); }

bool is_quit(const std::string& line) { return line == "q" || line == "Q"; }

// True when the output name reaches the input file itself: the same name, a
// hard link or a symbolic link to it, or another spelling of its name.
bool reaches_input(const std::string& outputName, const Input& input) {
  platform::FileStatus output;
  return platform::status_of_path(outputName, output) && platform::same_file(output.identity, input.identity);
}

// Opens the output, runs the mode's writer on it and closes it. A failed
// open, or any failed write, flush or close, is reported. An output name
// that reaches the input is an output that cannot be opened: writing it would
// destroy the input.
template <typename Writer>
Outcome write_output(Session& session, Regime regime, const Input& input, const char* extension, StreamMode mode,
                     Writer writer) {
  const std::string outputName = output_name_for(input.name, extension);
  OutStream out;
  const bool isInput = reaches_input(outputName, input);
  if (isInput || !out_open_file(out, outputName, mode)) {
    if (isInput) {
      explain(session, regime, "the output file '%s' is the input file itself; it is left as it was",
              outputName.c_str());
    } else {
      explain(session, regime, "can not open output file '%s': %s", outputName.c_str(), std::strerror(errno));
    }
    if (regime == Regime::CommandLine) return kExitCannotWriteOutput;
    out_printf(session.console, "Can not open output file '%s'\n", outputName.c_str());
    return std::nullopt;
  }
  writer(out);
  if (!out_close(out)) {
    out_printf(session.console, "Can not write output file '%s'\n", outputName.c_str());
    explain(session, regime, "writing '%s' failed; a file of that name from before is kept as it was",
            outputName.c_str());
    return end_or_next(regime, kExitCannotWriteOutput);
  }
  explain_no_model(session, regime, input, outputName);
  return end_or_next(regime, kExitDone);
}

// Runs the mode on the input, which it takes: mode R spends its bytes.
Outcome dispatch(Session& session, Regime regime, char mode, Input&& input) {
  OutStream& console = session.console;
  switch (mode) {
    case 'A':
      return write_output(session, regime, input, ".seq", StreamMode::Binary, [&](OutStream& out) {
        summarise_animation(session, export_animation(out, console, input.name, input.bytes));
      });
    case 'D':
      return write_output(session, regime, input, ".txt", StreamMode::Text,
                          [&](OutStream& out) { dump_chunks(input.bytes, out, console); });
    case 'R':
      return write_output(session, regime, input, ".rwx", StreamMode::Text, [&](OutStream& out) {
        session.carried = write_rwx_conversion(session.carried, out, console, input.name, std::move(input.bytes));
      });
    case 'H':
    case 'I':
      if (regime == Regime::CommandLine) {
        explain(session, regime, "modes H and I list only at the prompts; run facetor without parameters");
        return kExitScreenMode;
      }
      if (mode == 'H') {
        list_chunk_types(input.bytes, console);
      } else {
        list_images(input.bytes, console);
      }
      return std::nullopt;
    default:
      if (mode == '\0') {
        explain(session, regime, "no mode given; the modes are R, A and D (H and I at the prompts)");
      } else {
        explain(session, regime, "unknown mode '%c'; the modes are R, A and D (H and I at the prompts)", mode);
      }
      if (regime == Regime::CommandLine) return kExitUnknownMode;
      out_write(console, "Unknown file output type\n");
      return std::nullopt;
  }
}

// One file, from its name to the end of its mode.
Outcome run_file(Session& session, Regime regime, std::span<const std::string> parameters) {
  std::string given;
  if (regime == Regime::CommandLine) {
    given = parameters[0];
  } else if (!ask(session, "Enter COB filename (Q to exit): ", given) || is_quit(given)) {
    return kExitDone;
  }
  const std::string inputName = input_name_from(given);

  InputFile file;
  std::string reason;
  if (!open_input(file, inputName, &reason)) {
    out_printf(session.console, "Can not open file '%s'\n", inputName.c_str());
    platform::FileStatus named;
    const bool folderGiven = regime == Regime::CommandLine && inputName != given &&
                             platform::status_of_path(given, named) && named.directory;
    explain(session, regime, "can not open '%s': %s%s%s%s", inputName.c_str(), reason.c_str(),
            folderGiven ? " ('" : "", folderGiven ? given.c_str() : "", folderGiven ? "' is a directory)" : "");
    return end_or_next(regime, kExitCannotOpenInput);
  }

  char mode = 'R';
  if (parameters.size() >= 2) {
    mode = mode_letter(parameters[1]);
  } else if (regime == Regime::Interactive) {
    std::string answer;
    if (!ask(session, "Output (to file): Rwx, Animation; (to screen): Headers, Imagelist, Debug ? : ", answer)) {
      return kExitDone;
    }
    mode = mode_letter(answer);
  }

  LargeVector<std::uint8_t> buffer;
  switch (read_input(file, buffer)) {
    case InputRead::Complete:
      break;
    case InputRead::TooLarge:
      // Its length does not fit the signed 32-bit count that every reader
      // takes: treated as an input buffer that cannot be had.
      out_write(session.console, "Memory allocation error\n");
      explain(session, regime, "'%s' is too large to read: %lld bytes, the largest input is %d bytes",
              inputName.c_str(), static_cast<long long>(file.status.size), std::numeric_limits<std::int32_t>::max());
      return kExitNoMemory;
    case InputRead::Short:
      out_printf(session.console, "Can not open file '%s'\n", inputName.c_str());
      explain(session, regime, "can not read '%s' completely", inputName.c_str());
      return end_or_next(regime, kExitCannotOpenInput);
  }
  const bool binaryCob = classify_header(buffer) == HeaderClass::Binary;
  return dispatch(session, regime, mode, Input{inputName, file.status.identity, std::move(buffer), binaryCob});
}

void print_usage(OutStream& console) {
  out_write(console,
            "Usage: facetor [--] [FILENAME [OUTPUTMODE]]\n"
            "Converts a binary COB model. Without parameters, facetor asks for files and modes\n"
            "at prompts until you type Q.\n"
            "\n"
            "FILENAME    the COB file; \".cob\" is appended when its name has no '.'\n"
            "OUTPUTMODE  first letter, any case (default R):\n"
            "  R  RWX model script, FILENAME with the extension .rwx\n"
            "  A  animation sequence, .seq\n"
            "  D  debug dump of the chunks, .txt\n"
            "  H  chunk types with counts, on the screen (prompts only)\n"
            "  I  texture images with use counts, on the screen (prompts only)\n"
            "\n"
            "Exit codes: 0 processed (even when the file held no model), 1 input not opened,\n"
            "2 output not opened or not written, 3 mode H or I on the command line,\n"
            "4 unknown mode or option, 5 out of memory. The reason goes to standard error.\n"
            "\n"
            "  -h, --help   this text\n"
            "  --version    the version\n"
            "  --           ends the options, for a FILENAME that begins with '-'\n");
}

int run_files(Session& session, Regime regime, std::span<const std::string> parameters) {
  out_printf(session.console, "Facetor build %d.%d.%d - COB model converter\n", kVersionMajor, kVersionMinor,
             kVersionBuild);
  out_write(session.console, "You may optionally specify command line parameters FILENAME and OUTPUTMODE\n\n");
  for (;;) {
    const Outcome outcome = run_file(session, regime, parameters);
    if (outcome) return *outcome;
  }
}

bool is_help_option(const std::string& parameter) {
  const std::string_view system = platform::system_help_option();
  return parameter == "-h" || parameter == "--help" || (!system.empty() && parameter == system);
}

// A first parameter that looks like an option the program does not know, and
// names no file either, as given or with ".cob" appended.
bool is_unknown_option(const std::string& parameter) {
  platform::FileStatus unused;
  return parameter.starts_with('-') && !platform::status_of_path(parameter, unused) &&
         !platform::status_of_path(input_name_from(parameter), unused);
}

}  // namespace

int run_facetor(Session& session, const std::vector<std::string>& given) {
  // "--" ends the options: what follows it are the parameters.
  const bool optionsEnded = !given.empty() && given[0] == "--";
  const std::span<const std::string> parameters = std::span(given).subspan(optionsEnded ? 1 : 0);
  const Regime regime = parameters.empty() ? Regime::Interactive : Regime::CommandLine;
  try {
    if (!optionsEnded && !given.empty() && is_help_option(given[0])) {
      print_usage(session.console);
      return kExitDone;
    }
    if (!optionsEnded && !given.empty() && given[0] == "--version") {
      out_printf(session.console, "facetor %d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionBuild);
      return kExitDone;
    }
    if (!optionsEnded && !given.empty() && is_unknown_option(given[0])) {
      report(session, "'%s' is no option and names no file", given[0].c_str());
      out_write(session.errors, "Usage: facetor [--] [FILENAME [OUTPUTMODE]]; facetor --help tells more\n");
      out_flush(session.errors);
      return kExitUnknownMode;
    }
    return run_files(session, regime, parameters);
  } catch (const std::bad_alloc&) {
    out_write(session.console, "Memory allocation error\n");
    out_flush(session.console);
    explain(session, regime, "not enough memory");
    return kExitNoMemory;
  }
}

}  // namespace facetor
