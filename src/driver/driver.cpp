// The converter driver: banner, command line or prompts, reading the input
// file, naming and opening the output, and the dispatch to the five modes.
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "anim/seq_export.h"
#include "diag/diagnostics.h"
#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/rwx_file.h"
#include "driver/session.h"
#include "driver/typed_line.h"
#include "driver/version.h"

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
Outcome write_output(OutStream& console, Regime regime, const std::string& outputName, StreamMode mode,
                     Writer writer) {
  OutStream out;
  if (!out_open_file(out, outputName, mode)) {
    if (regime == Regime::CommandLine) return kExitCannotWriteOutput;
    out_printf(console, "Can not open output file '%s'\n", outputName.c_str());
    return std::nullopt;
  }
  writer(out);
  if (!out_close(out)) {
    out_printf(console, "Can not write output file '%s'\n", outputName.c_str());
    return end_or_next(regime, kExitCannotWriteOutput);
  }
  return end_or_next(regime, kExitDone);
}

Outcome dispatch(Session& session, Regime regime, char mode, const std::string& inputName, Bytes buffer) {
  OutStream& console = session.console;
  switch (mode) {
    case 'A':
      return write_output(console, regime, output_name_for(inputName, ".seq"), StreamMode::Binary,
                          [&](OutStream& out) {
                            export_animation(out, console, inputName, buffer);
                          });
    case 'D':
      return write_output(console, regime, output_name_for(inputName, ".txt"), StreamMode::Text,
                          [&](OutStream& out) { dump_chunks(buffer, out, console); });
    case 'R':
      return write_output(console, regime, output_name_for(inputName, ".rwx"), StreamMode::Text,
                          [&](OutStream& out) {
                            write_rwx_file(session.conversion, out, console, inputName, buffer);
                          });
    case 'H':
      if (regime == Regime::CommandLine) return kExitScreenMode;
      list_chunk_types(buffer, console);
      return std::nullopt;
    case 'I':
      if (regime == Regime::CommandLine) return kExitScreenMode;
      list_images(buffer, console);
      return std::nullopt;
    default:
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
  if (!open_input(file, inputName)) {
    out_printf(session.console, "Can not open file '%s'\n", inputName.c_str());
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

  std::vector<std::uint8_t> buffer;
  switch (read_input(file, buffer)) {
    case InputRead::Complete:
      break;
    case InputRead::TooLarge:
      throw std::bad_alloc();
    case InputRead::Short:
      out_printf(session.console, "Can not open file '%s'\n", inputName.c_str());
      return end_or_next(regime, kExitCannotOpenInput);
  }
  return dispatch(session, regime, mode, inputName, buffer);
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
  try {
    return run_files(session, parameters);
  } catch (const std::bad_alloc&) {
    out_write(session.console, "Memory allocation error\n");
    out_flush(session.console);
    return kExitNoMemory;
  }
}

}  // namespace facetor
