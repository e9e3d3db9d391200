// The run driver: the Patch command from the inputs to the walk, and the window's idle state
// afterwards. Whatever fails inside a run is shown and ends the run through finish, so that the
// window is never left with a disabled Patch button and a run marked as going on.
#include <exception>
#include <optional>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {
namespace {

// An item's path as the database spells it, or `typed` when it cannot be read.
std::wstring specOr(vss::Item& item, const std::wstring& typed) {
  try {
    return item.spec();
  } catch (const vss::Error&) {
    return typed;
  }
}

}  // namespace

// A project has one link, a file one in each of its places; the one of the path looked up is
// the one that differs from it in letter case at most. A path typed as stored costs no
// lower-casing.
std::unique_ptr<vss::Item> storedSpelling(vss::Database& database, std::unique_ptr<vss::Item> item,
                                          PlatformPort& platform) {
  try {
    const std::wstring typed = item->spec();
    std::vector<std::wstring> stored;
    for (const std::unique_ptr<vss::Item>& link : item->links()) {
      stored.push_back(link->spec());
      if (stored.back() == typed) return item;
    }
    const std::wstring lower = platform.toLower(typed);
    for (const std::wstring& spec : stored)
      if (platform.toLower(spec) == lower) return database.vssItem(spec, false);
  } catch (const vss::Error&) {
  }
  return item;
}

std::wstring failureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const vss::Error& e) {
    return e.description();
  } catch (const std::exception& e) {
    std::wstring text = texts::kUnexpectedFailure;
    // what() is a narrow text of unknown encoding; its ASCII part is what can be trusted.
    for (const char* p = e.what(); *p != '\0'; ++p) {
      const auto c = static_cast<unsigned char>(*p);
      text += c < 0x80 ? static_cast<wchar_t>(c) : L'?';
    }
    return text;
  } catch (...) {
    return texts::kUnexpectedFailure;
  }
}

// The Patch button: take the inputs, save, validate, confirm, open, run.
void Patcher::cmdPatch_Click() {
  bool buttonTaken = false;
  try {
    window_.clearList(ResultList::Processed);
    window_.clearList(ResultList::Unprocessed);
    window_.setStatusText(L"");
    populateValue();
    window_.saveSettings();

    std::vector<std::wstring> messages = checkValue();
    std::optional<double> startDate;
    std::optional<double> endDate;
    if (messages.empty()) {
      // checkValue applied the same conversion, so both texts convert; the tests below only
      // keep a conversion that changed its mind (or an empty current time) from the run.
      startDate = platform_.toDate(state_.startDateText);
      endDate = platform_.toDate(state_.endDateText);
      if (!startDate) messages.emplace_back(texts::kStartBadFormat);
      if (!endDate) messages.emplace_back(texts::kEndBadFormat);
    }
    if (!messages.empty()) {
      std::wstring text;
      for (const std::wstring& message : messages) text += message + L"\r\n";
      window_.showMessage(text, texts::kNoticeTitle, Icon::Exclamation, Buttons::Ok);
      return;
    }
    state_.startDate = *startDate;
    state_.endDate = *endDate;
    if (state_.startDate > state_.endDate) {
      window_.showMessage(texts::kStartAfterEnd, texts::kNoticeTitle, Icon::Exclamation,
                          Buttons::Ok);
      return;
    }
    if (window_.showMessage(texts::kConfirmLongRun, texts::kNoticeTitle, Icon::Information,
                            Buttons::YesNo) != Answer::Yes) {
      return;
    }
    if (!openDatabase()) return;

    buttonTaken = true;
    window_.setPatchButton(texts::kPatching, false);
    start();
  } catch (...) {
    const std::wstring text = failureText(std::current_exception());
    if (buttonTaken || state_.running) {
      endRunAfterFailure(text);
    } else {
      showFailure(text);
    }
  }
}

// Tries every opening the run will need, reporting only the last failure. Each step stops at
// its own first failure, so a wrong password is reported as such and not as the lookup that
// could not follow it.
bool Patcher::openDatabase() {
  std::optional<std::wstring> lastError;
  const auto attempt = [&lastError](const auto& step) {
    try {
      step();
    } catch (...) {
      lastError = failureText(std::current_exception());
    }
  };

  if (state_.mode == RunMode::Share) {
    attempt([this] {
      state_.database = library_.newDatabase();
      state_.database->open(state_.host, state_.user, state_.passwd);
      state_.patchItem = state_.database->vssItem(state_.patch, false);
    });
  }
  std::unique_ptr<vss::Database> database;
  std::unique_ptr<vss::Item> projectItem;
  attempt([&] {
    database = library_.newDatabase();
    database->open(state_.host, state_.user, state_.passwd);
    projectItem = database->vssItem(state_.project, false);
  });

  if (!lastError) return true;
  showFailure(*lastError);
  return false;
}

// Opens the database for the walk (and, in Share mode, the patch project), walks the project
// and puts the window back. Only a failure to open ends the run early; the walk itself goes on
// past whatever it cannot read.
void Patcher::start() {
  state_.running = true;
  fetchFolders_.clear();
  try {
    // The walk's objects go before the bookkeeping files are removed.
    std::unique_ptr<vss::Database> walkDatabase;
    std::unique_ptr<vss::Item> projectItem;
    if (state_.mode == RunMode::Share) {
      state_.database = library_.newDatabase();
      state_.database->open(state_.host, state_.user, state_.passwd);
      state_.patchItem = storedSpelling(*state_.database,
                                        state_.database->vssItem(state_.patch, false), platform_);
      patchSpecLower_ = platform_.toLower(specOr(*state_.patchItem, state_.patch));
    }
    walkDatabase = library_.newDatabase();
    walkDatabase->open(state_.host, state_.user, state_.passwd);
    projectItem =
        storedSpelling(*walkDatabase, walkDatabase->vssItem(state_.project, false), platform_);
    projectSpec_ = specOr(*projectItem, state_.project);
    // Both bounds came through the platform's conversion, so they are dates.
    startSecond_ = wholeSeconds(state_.startDate).value_or(0);
    endSecond_ = wholeSeconds(state_.endDate).value_or(0);
    if (hooks_.insteadOfWalk) {
      hooks_.insteadOfWalk(*walkDatabase, *projectItem);
    } else {
      recurrence(*projectItem);
    }
  } catch (...) {
    endRunAfterFailure(failureText(std::current_exception()));
  }
  removeBookkeeping();
  if (state_.running) finish();
  projectSpec_.clear();
  patchSpecLower_.clear();
}

// Back to idle: the run is over, the button usable again, the status bar says so.
void Patcher::finish() {
  state_.running = false;
  window_.setPatchButton(texts::kPatched, true);
  window_.setStatusText(texts::kFinished);
}

void Patcher::showFailure(const std::wstring& text) {
  try {
    window_.showMessage(text, texts::kAppTitle, Icon::None, Buttons::Ok);
  } catch (...) {
    // The window cannot even show a box; there is nobody left to tell.
  }
}

// The run ends where it stands: the window is usable again and says that the run did not finish.
void Patcher::endRunAfterFailure(const std::wstring& text) {
  showFailure(text);
  state_.running = false;
  try {
    window_.setPatchButton(texts::kPatched, true);
    window_.setStatusText(texts::kRunStopped);
  } catch (...) {
    // Nothing more can be shown; the run is over all the same.
  }
}

}  // namespace engine
