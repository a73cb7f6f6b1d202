// The converter driver: banner, command line or prompts, reading the input
// file, naming and opening the output, and the dispatch to the five modes.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "anim/seq_export.h"
#include "cob/container.h"
#include "diag/diagnostics.h"
#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/session.h"
#include "driver/typed_line.h"
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

Outcome end_or_next(Regime regime, int code) {
  if (regime == Regime::CommandLine) return code;
  return std::nullopt;
}

// One line on standard error, "facetor: ...", in the command-line regime,
// where standard output says nothing of why the program stopped.
void explain(Session& session, Regime regime, const char* format, ...) FACETOR_PRINTF_FORMAT(3, 4);
void explain(Session& session, Regime regime, const char* format, ...) {
  if (regime != Regime::CommandLine) return;
  out_flush(session.console);  // so that a terminal shows both in order
  out_write(session.errors, "facetor: ");
  std::va_list args;
  va_start(args, format);
  out_vprintf(session.errors, format, args);
  va_end(args);
  out_put(session.errors, '\n');
  out_flush(session.errors);
}

// The file modes write an output whatever the file holds; say so when it
// fails the header check, so that an exit code of 0 is not read as a model.
void explain_no_model(Session& session, Regime regime, const std::string& inputName, Bytes buffer,
                      const std::string& outputName) {
  if (regime == Regime::CommandLine && classify_header(buffer) != HeaderClass::Binary) {
    explain(session, regime, "'%s' is not a binary COB file; '%s' holds no model", inputName.c_str(),
            outputName.c_str());
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

// Opens the output, runs the mode's writer on it and closes it. A failed
// open, or any failed write, flush or close, is reported.
template <typename Writer>
Outcome write_output(Session& session, Regime regime, const std::string& inputName, Bytes buffer,
                     const char* extension, StreamMode mode, Writer writer) {
  const std::string outputName = output_name_for(inputName, extension);
  OutStream out;
  if (!out_open_file(out, outputName, mode)) {
    explain(session, regime, "can not open output file '%s': %s", outputName.c_str(), std::strerror(errno));
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
  explain_no_model(session, regime, inputName, buffer, outputName);
  return end_or_next(regime, kExitDone);
}

Outcome dispatch(Session& session, Regime regime, char mode, const std::string& inputName, Bytes buffer) {
  OutStream& console = session.console;
  switch (mode) {
    case 'A':
      return write_output(session, regime, inputName, buffer, ".seq", StreamMode::Binary,
                          [&](OutStream& out) {
                            export_animation(out, console, inputName, buffer);
                          });
    case 'D':
      return write_output(session, regime, inputName, buffer, ".txt", StreamMode::Text,
                          [&](OutStream& out) { dump_chunks(buffer, out, console); });
    case 'R':
      return write_output(session, regime, inputName, buffer, ".rwx", StreamMode::Text,
                          [&](OutStream& out) {
                            session.carried = write_rwx_conversion(session.carried, out, console, inputName, buffer);
                          });
    case 'H':
    case 'I':
      if (regime == Regime::CommandLine) {
        explain(session, regime, "modes H and I list only at the prompts; run facetor without parameters");
        return kExitScreenMode;
      }
      if (mode == 'H') {
        list_chunk_types(buffer, console);
      } else {
        list_images(buffer, console);
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
Outcome run_file(Session& session, Regime regime, const std::vector<std::string>& parameters) {
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
    explain(session, regime, "can not open '%s': %s", inputName.c_str(), reason.c_str());
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
      throw std::bad_alloc();
    case InputRead::Short:
      out_printf(session.console, "Can not open file '%s'\n", inputName.c_str());
      explain(session, regime, "can not read '%s' completely", inputName.c_str());
      return end_or_next(regime, kExitCannotOpenInput);
  }
  return dispatch(session, regime, mode, inputName, buffer);
}

void print_usage(OutStream& console) {
  out_write(console,
            "Usage: facetor [FILENAME [OUTPUTMODE]]\n"
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
            "4 unknown mode, 5 out of memory. The reason goes to standard error.\n"
            "\n"
            "  -h, --help   this text\n"
            "  --version    the version\n");
}

int run_files(Session& session, const std::vector<std::string>& parameters) {
  out_printf(session.console, "Facetor build %d.%d.%d - COB model converter\n", kVersionMajor, kVersionMinor,
             kVersionBuild);
  out_write(session.console, "You may optionally specify command line parameters FILENAME and OUTPUTMODE\n\n");
  const Regime regime = parameters.empty() ? Regime::Interactive : Regime::CommandLine;
  for (;;) {
    const Outcome outcome = run_file(session, regime, parameters);
    if (outcome) return *outcome;
  }
}

}  // namespace

int run_facetor(Session& session, const std::vector<std::string>& parameters) {
  if (!parameters.empty() && (parameters[0] == "-h" || parameters[0] == "--help")) {
    print_usage(session.console);
    return kExitDone;
  }
  if (!parameters.empty() && parameters[0] == "--version") {
    out_printf(session.console, "facetor %d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionBuild);
    return kExitDone;
  }
  const Regime regime = parameters.empty() ? Regime::Interactive : Regime::CommandLine;
  try {
    return run_files(session, parameters);
  } catch (const std::bad_alloc&) {
    out_write(session.console, "Memory allocation error\n");
    out_flush(session.console);
    explain(session, regime, "not enough memory");
    return kExitNoMemory;
  }
}

}  // namespace facetor
