// One invocation of the console program: the command line, the settings file, the lists'
// destinations, the engine's Patch command on the console's window, and the summary.
#include "console/run.h"

#include <algorithm>
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
#include "vssdb/library.h"

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

// The engine's platform as the console program gives it: a date without a day ("12:00", which
// the conversion reads as a time of 1899-12-30) is no date, since a nightly job that gives only
// a time means a time of some day, never that one.
class ConsolePlatform : public engine::PlatformPort {
 public:
  explicit ConsolePlatform(engine::PlatformPort& platform) : platform_(platform) {}
  bool pathExists(const std::wstring& path) override { return platform_.pathExists(path); }
  std::uint32_t createFolder(const std::wstring& path) override {
    return platform_.createFolder(path);
  }
  bool writableFileExists(const std::wstring& path) override {
    return platform_.writableFileExists(path);
  }
  std::uint32_t removeFile(const std::wstring& path) override { return platform_.removeFile(path); }
  std::optional<double> toDate(const std::wstring& text) override {
    const std::optional<double> date = platform_.toDate(text);
    if (date && *date >= 0.0 && *date < 1.0) return std::nullopt;
    return date;
  }
  std::wstring nowText() override { return platform_.nowText(); }
  std::wstring toLower(const std::wstring& text) override { return platform_.toLower(text); }

 private:
  engine::PlatformPort& platform_;
};

// The files a list must never be written over, and the folder it must never be written into.
struct JobFiles {
  std::optional<FilePlace> settings;     // the settings file
  std::optional<FilePlace> host;         // the database's srcsafe.ini
  std::optional<FileIdentity> database;  // the folder that holds it
};

JobFiles jobFiles(FileSystem& files, const Options& options, const RunInputs& inputs) {
  JobFiles job;
  if (options.ini) job.settings = files.place(*options.ini);
  if (!inputs.host.empty()) {
    job.host = files.place(inputs.host);
    const std::vector<FileIdentity> folders = files.foldersAbove(inputs.host);
    if (!folders.empty()) job.database = folders.front();
  }
  return job;
}

// Why an output (a list or the report) cannot be written at `path`, compared as the file system
// tells files apart, or nothing. Its place is left in `place`; a device has none.
std::optional<std::wstring> outputProblem(FileSystem& files, const std::wstring& path,
                                          const wchar_t* notWritable, const JobFiles& job,
                                          std::optional<FilePlace>& place) {
  constexpr std::uint32_t kErrorPathNotFound = 3, kErrorAccessDenied = 5;
  const FileKind kind = files.kind(path);
  if (kind == FileKind::Device) return std::nullopt;
  if (kind == FileKind::Folder || kind == FileKind::ReadOnlyFile) {
    return withSystemError(notWritable + path, kErrorAccessDenied);
  }
  place = files.place(path);
  if (!place) return withSystemError(notWritable + path, kErrorPathNotFound);
  if (place == job.settings) return texts::kListIsSettingsFile + path;
  const std::vector<FileIdentity> folders = files.foldersAbove(path);
  if (place == job.host ||
      (job.database && std::find(folders.begin(), folders.end(), *job.database) != folders.end())) {
    return texts::kListInDatabase + path;
  }
  return std::nullopt;
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
  bool passwdGiven = false;
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
    // A value the profile functions may have cut would send the run elsewhere (a cut local
    // folder is one of its parents): such a file is not used at all.
    if (!file.cutKeys.empty()) {
      std::wstring text;
      for (const std::wstring& key : file.cutKeys) text += texts::kValueTooLong + key + L"\n";
      return refuse(text);
    }
    saved = std::move(file.values);
    passwdGiven = file.passwdGiven;
  }
  RunInputs inputs =
      mergeInputs(saved, options, environment.variable(kPasswordVariable), passwdGiven);
  // A direct run only reads: a Share run is refused before anything else is looked at.
  if (options.direct && inputs.mode == engine::ModeOption::Share) {
    return refuse(texts::kDirectCannotShare);
  }
  FileSystem& files = environment.fileSystem();
  // The run and its summary name the folder it writes into, not one that depends on where the
  // job was started from ("out", or the bare drive "Y:", which means that drive's current folder).
  if (!inputs.localDir.empty()) inputs.localDir = files.fullPath(inputs.localDir);

  // Every destination (the two lists and the report) is checked, and its temporary file made,
  // before the database is opened: a list that cannot be written refuses the run instead of losing
  // its results, and no output takes the place of the job's own inputs (the settings file, the
  // database's files) or of another output, whatever the spelling of the paths.
  enum { kProcessed, kUnprocessed, kReport, kOutputs };
  const std::optional<std::wstring>* paths[kOutputs] = {&options.processed, &options.unprocessed,
                                                        &options.report};
  const wchar_t* notWritable[kOutputs] = {texts::kListNotWritable, texts::kListNotWritable,
                                          texts::kReportNotWritable};
  const JobFiles job = jobFiles(files, options, inputs);
  std::optional<FilePlace> places[kOutputs];
  std::wstring problems;
  for (int i = 0; i < kOutputs; ++i) {
    const std::optional<std::wstring>& path = *paths[i];
    if (!path || *path == kStandardOutput) continue;
    if (const std::optional<std::wstring> problem =
            outputProblem(files, *path, notWritable[i], job, places[i])) {
      problems += *problem + L"\n";
    }
  }
  if (problems.empty() && places[kProcessed] && places[kProcessed] == places[kUnprocessed]) {
    problems = texts::kSameListFile + *options.processed;
  }
  for (int i : {kProcessed, kUnprocessed}) {
    if (problems.empty() && places[i] && places[i] == places[kReport]) {
      problems = texts::kReportIsAList + *options.report;
    }
  }
  // Nor does a direct run write into the database's folder through its Local fetches.
  if (options.direct && inputs.mode == engine::ModeOption::Local && job.database &&
      !inputs.localDir.empty()) {
    const std::vector<FileIdentity> folders = files.foldersAbove(inputs.localDir + L"\\x");
    if (std::find(folders.begin(), folders.end(), *job.database) != folders.end()) {
      problems += texts::kLocalDirInDatabase + inputs.localDir + L"\n";
    }
  }
  if (!problems.empty()) return refuse(problems);

  // Files go under a temporary name first and are moved into place at the end; a device takes
  // what is written as it comes.
  std::unique_ptr<ListFile> outputFiles[kOutputs];
  std::unique_ptr<EncodedSink> devices[kOutputs];
  for (int i = 0; i < kOutputs; ++i) {
    const std::optional<std::wstring>& path = *paths[i];
    if (!path || *path == kStandardOutput) continue;
    // The report is UTF-8 whatever the lists' encoding.
    Encoder encoder = i == kReport ? Encoder(appendUtf8) : environment.encoder(options.encoding);
    std::uint32_t code = 0;
    if (!places[i]) {
      std::unique_ptr<ByteSink> device = files.openDevice(*path, code);
      if (!device) return refuse(withSystemError(notWritable[i] + *path, code));
      devices[i] = std::make_unique<EncodedSink>(std::move(device), std::move(encoder));
      continue;
    }
    outputFiles[i] = ListFile::create(files, *path, std::move(encoder), code);
    if (!outputFiles[i]) return refuse(withSystemError(notWritable[i] + *path, code));
  }
  StreamSink output(terminal, Stream::Output);
  StreamSink error(terminal, Stream::Error);
  TextSink* sinks[kReport] = {&output, &error};
  for (int i : {kProcessed, kUnprocessed}) {
    if (*paths[i] == kStandardOutput) sinks[i] = &output;
    if (outputFiles[i]) sinks[i] = outputFiles[i].get();
    if (devices[i]) sinks[i] = devices[i].get();
  }

  // The library: SourceSafe's (the environment's), or with --direct the database's files read
  // strictly (every record and every fetched content proven), a file that changed at every read
  // named on standard error.
  std::unique_ptr<vss::Library> direct;
  if (options.direct) {
    vssdb::Settings settings;
    settings.reading.strict = true;
    settings.onTorn = [&terminal](const std::wstring& spec, const std::wstring& why) {
      terminal.line(Stream::Error, texts::kChangedWhileRead + spec + L": " + why);
    };
    direct = vssdb::makeLibrary(std::move(settings));
  }
  vss::Library& library = direct ? *direct : environment.library();

  // The release engineer's questions (console/questions.h): the report's rows are gathered
  // during the run; the label bounds are looked up now, so that the engine is given them as dates.
  Questions questions(options, environment.platform(), library);
  questions.prepareReport();
  const LabelLookup labels = questions.resolveLabels(inputs);
  if (labels.failure) return refuse(*labels.failure);
  for (const std::wstring& note : labels.notes) terminal.line(Stream::Error, note);

  ListWriter processed(*sinks[0]);
  ListWriter unprocessed(*sinks[1]);
  ConsoleWindow window(inputs, terminal, processed, unprocessed,
                       [&environment] { return environment.milliseconds(); });
  ConsolePlatform platform(environment.platform());
  engine::Patcher patcher(window, platform, library);
  patcher.state().emptyPasswordGiven = inputs.emptyPasswordGiven;
  window.setRunCheck([&patcher, &platform] { return checkLocalRoot(patcher.state(), platform); });
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

  if (record.started && options.report) {
    const std::string report = questions.report(patcher, inputs);
    if (outputFiles[kReport]) outputFiles[kReport]->writeBytes(report);
    if (devices[kReport]) devices[kReport]->writeBytes(report);
  }
  bool written = true;
  for (TextSink* sink : sinks) written = sink->flush() && written;
  if (devices[kReport]) written = devices[kReport]->flush() && written;
  if (!written) {
    terminal.line(Stream::Error, texts::kOutputFailed);
    record.unexpected = true;
  }
  // A refused run leaves every file as it was. Any other run puts its outputs in place, also one
  // that a failure ended: they hold what was done, and the status says the run is incomplete.
  // The report is put in place only by a run that got as far as its walk.
  const bool refused = exitStatus(record) == kInvalidInput;
  for (int i = 0; i < kOutputs; ++i) {
    std::unique_ptr<ListFile>& file = outputFiles[i];
    if (!file) continue;
    if (refused || (i == kReport && !record.started)) {
      file->discard();
      continue;
    }
    // An output that could not be written whole goes (said above); one that cannot be moved into
    // place stays whole under its temporary name.
    if (!file->flush()) {
      file->discard();
      continue;
    }
    if (const std::uint32_t code = file->commit(); code != 0) {
      terminal.line(Stream::Error, withSystemError(texts::kListNotMoved + file->temporary(), code));
      record.unexpected = true;
    }
  }
  if (record.started) {
    if (patcher.state().mode == engine::RunMode::Local) {
      terminal.line(Stream::Error, texts::kLocalFolder + patcher.state().localDir);
    }
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
