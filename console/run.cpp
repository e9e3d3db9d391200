// One invocation of the console program: the command line, the settings file, the lists'
// destinations, the engine's Patch command on the console's window, and the summary.
#include "console/run.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "console/console_window.h"
#include "console/options.h"
#include "console/question_texts.h"
#include "console/questions.h"
#include "console/texts.h"
#include "engine/patcher.h"
#include "engine/texts.h"

namespace console {
namespace {

// A failure that nothing expected, worded as the window words it.
std::wstring describe(const std::exception& e) {
  std::wstring text = engine::texts::kUnexpectedFailure;
  // what() is a narrow text of unknown encoding; its ASCII part is what can be trusted.
  for (const char* p = e.what(); *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    text += c < 0x80 ? static_cast<wchar_t>(c) : L'?';
  }
  return text;
}

std::wstring withSystemError(const std::wstring& text, std::uint32_t code) {
  return code == 0 ? text : text + texts::kSystemError + std::to_wstring(code) + L")";
}

std::wstring seconds(std::int64_t milliseconds) {
  wchar_t text[32] = {};
  std::swprintf(text, sizeof text / sizeof text[0], L"%.1f",
                static_cast<double>(milliseconds) / 1000.0);
  return text;
}

// In Local mode the root of the local tree must exist before the run: the engine tries to make
// it and says nothing when it cannot; here the attempt is repeated for its reason.
std::optional<std::wstring> checkLocalRoot(const engine::RunState& state,
                                           engine::PlatformPort& platform) {
  if (state.mode != engine::RunMode::Local || state.localDir.empty()) return std::nullopt;
  if (platform.pathExists(state.localDir)) return std::nullopt;
  const std::uint32_t code = platform.createFolder(state.localDir);
  if (code == 0) return std::nullopt;
  return withSystemError(texts::kLocalDirNotCreated + state.localDir, code);
}

int runChecked(const std::vector<std::wstring>& arguments, Environment& environment) {
  Terminal& terminal = environment.terminal();
  const auto refuse = [&terminal](const std::wstring& text) {
    terminal.lines(Stream::Error, text);
    terminal.flush();
    return kInvalidInput;
  };

  Options options;
  try {
    options = parseOptions(arguments);
  } catch (const UsageError& e) {
    terminal.line(Stream::Error, e.message());
    return refuse(texts::kSeeHelp);
  }
  terminal.setEncoding(options.encoding);
  if (options.help) {
    terminal.write(Stream::Output, usageText());
    return terminal.flush() ? kAllProcessed : kUnexpectedFailure;
  }

  settings::SavedInputs saved;
  if (options.ini) {
    SettingsFile file = environment.readSettings(*options.ini);
    switch (file.problem) {
      case SettingsFile::Problem::NotFound:
        return refuse(texts::kIniNotFound + *options.ini);
      case SettingsFile::Problem::Unreadable:
        return refuse(withSystemError(texts::kIniUnreadable + *options.ini, file.systemError));
      case SettingsFile::Problem::None:
        break;
    }
    saved = std::move(file.values);
  }
  RunInputs inputs = mergeInputs(saved, options, environment.variable(kPasswordVariable));

  // Every destination is opened before the database is: a list that cannot be written refuses
  // the run instead of losing its results.
  StreamSink output(terminal, Stream::Output);
  StreamSink error(terminal, Stream::Error);
  std::unique_ptr<TextSink> files[2];
  TextSink* sinks[2] = {&output, &error};
  const std::optional<std::wstring>* paths[2] = {&options.processed, &options.unprocessed};
  for (int i = 0; i < 2; ++i) {
    const std::optional<std::wstring>& path = *paths[i];
    if (!path) continue;
    if (*path == kStandardOutput) {
      sinks[i] = &output;
      continue;
    }
    files[i] = openTextFile(*path, environment.encoder(options.encoding));
    if (!files[i]) return refuse(texts::kListNotWritable + *path);
    sinks[i] = files[i].get();
  }

  // The release engineer's questions (console/questions.h): the report is made ready with the
  // lists; the label bounds are looked up next, so that the engine is given them as dates.
  Questions questions(options, environment.platform(), environment.library());
  if (const std::optional<std::wstring> problem = questions.prepareReport()) {
    return refuse(*problem);
  }
  const LabelLookup labels = questions.resolveLabels(inputs);
  if (labels.failure) return refuse(*labels.failure);
  for (const std::wstring& note : labels.notes) terminal.line(Stream::Error, note);

  ListWriter processed(*sinks[0]);
  ListWriter unprocessed(*sinks[1]);
  ConsoleWindow window(inputs, terminal, processed, unprocessed,
                       [&environment] { return environment.milliseconds(); });
  engine::Patcher patcher(window, environment.platform(), environment.library());
  window.setRunCheck(
      [&patcher, &environment] { return checkLocalRoot(patcher.state(), environment.platform()); });
  questions.attach(patcher, output);

  const std::int64_t began = environment.milliseconds();
  try {
    patcher.cmdPatch_Click();
  } catch (const vss::Error& e) {
    window.unexpectedFailure(e.description());
  } catch (const std::exception& e) {
    window.unexpectedFailure(describe(e));
  } catch (...) {
    window.unexpectedFailure(engine::texts::kUnexpectedFailure);
  }
  window.endRun();
  RunRecord record = window.record();

  bool written = true;
  for (TextSink* sink : sinks) written = sink->flush() && written;
  if (record.started) written = questions.writeReport(patcher, inputs) && written;
  if (!written) {
    terminal.line(Stream::Error, texts::kOutputFailed);
    record.unexpected = true;
  }
  if (record.started) {
    const std::wstring took = seconds(environment.milliseconds() - began);
    terminal.line(Stream::Error,
                  questions.explaining()
                      ? texts::explainSummary(questions.explained().explained,
                                              questions.explained().missing, took)
                      : texts::summary(modeName(patcher.state().mode), record.processed,
                                       record.unprocessed + record.unreadable, took));
  }
  terminal.flush();
  return questions.explaining() ? explainExitStatus(record, questions.explained())
                                : exitStatus(record);
}

}  // namespace

int run(const std::vector<std::wstring>& arguments, Environment& environment) {
  try {
    return runChecked(arguments, environment);
  } catch (const std::exception& e) {
    try {
      environment.terminal().line(Stream::Error, describe(e));
      environment.terminal().flush();
    } catch (...) {
      // Not even the message can be written; the status still says what happened.
    }
  } catch (...) {
    try {
      environment.terminal().line(Stream::Error, engine::texts::kUnexpectedFailure);
      environment.terminal().flush();
    } catch (...) {
    }
  }
  return kUnexpectedFailure;
}

}  // namespace console
