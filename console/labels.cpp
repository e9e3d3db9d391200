// Label bounds: finding a label's time in a project's history and writing it as a date text.
#include "console/labels.h"

#include "console/question_texts.h"
#include "engine/patcher.h"

namespace console {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30, the automation dates' day 0, in days since 1970-01-01.
constexpr std::int64_t kDay0 = -25569;

// Year, month and day of a count of days since 1970-01-01 (the proleptic Gregorian calendar).
void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

// The stand-in for a bound whose label cannot be looked up: any platform reads it.
constexpr const wchar_t* kStandInBound = L"2000-01-01 00:00:00";

}  // namespace

std::wstring dateText(double date) {
  const std::optional<std::int64_t> seconds = engine::wholeSeconds(date);
  if (!seconds) return {};
  // Before day 0 the day counts back and the time of day forward (-1.25 is 1899-12-29 06:00).
  const std::int64_t magnitude = *seconds < 0 ? -*seconds : *seconds;
  const std::int64_t day = (*seconds < 0 ? -1 : 1) * (magnitude / kSecondsPerDay);
  const std::int64_t time = magnitude % kSecondsPerDay;
  std::int64_t year = 0;
  unsigned month = 0, dayOfMonth = 0;
  civilFromDays(day + kDay0, year, month, dayOfMonth);
  // Written digit by digit: a report writes one for every listed file.
  std::wstring text;
  text.reserve(19);
  const auto digits = [&text](std::int64_t value, int width) {
    wchar_t buffer[24];
    int n = 0;
    do {
      buffer[n++] = static_cast<wchar_t>(L'0' + value % 10);
      value /= 10;
    } while (value > 0);
    for (int i = n; i < width; ++i) text += L'0';
    while (n > 0) text += buffer[--n];
  };
  if (year < 0) text += L'-';
  digits(year < 0 ? -year : year, 4);
  text += L'-';
  digits(month, 2);
  text += L'-';
  digits(dayOfMonth, 2);
  text += L' ';
  digits(time / 3600, 2);
  text += L':';
  digits(time / 60 % 60, 2);
  text += L':';
  digits(time % 60, 2);
  return text;
}

// The whole history is read: a label applied again later is the newest one of its name, whatever
// order the history gives it in. The files' records are left out: a file's own label of the same
// name, which a project's full history lists too, is not the project's.
std::optional<double> labelTime(vss::Item& project, const std::wstring& name) {
  std::optional<double> newest;
  const std::unique_ptr<vss::VersionCursor> history = project.versions(vss::kFlagHistIgnoreFiles);
  while (const std::unique_ptr<vss::Version> record = history->next()) {
    if (record->label() != name) continue;
    const double date = record->date();
    if (!newest || date > *newest) newest = date;
  }
  return newest;
}

LabelLookup resolveLabelBounds(const Options& options, RunInputs& inputs, vss::Library& library,
                               engine::PlatformPort& platform) {
  LabelLookup lookup;
  if (!options.sinceLabel && !options.untilLabel) return lookup;
  if (inputs.host.empty() || inputs.user.empty() ||
      (inputs.passwd.empty() && !inputs.emptyPasswordGiven) || inputs.project.empty()) {
    if (options.sinceLabel) inputs.startDate = kStandInBound;
    if (options.untilLabel) inputs.endDate = kStandInBound;
    return lookup;
  }
  std::unique_ptr<vss::Item> project;
  std::wstring projectSpec = inputs.project;
  try {
    std::unique_ptr<vss::Database> database = library.newDatabase();
    database->open(inputs.host, inputs.user, inputs.passwd);
    project = engine::storedSpelling(*database, database->vssItem(inputs.project, false), platform);
    projectSpec = project->spec();
  } catch (const vss::Error& e) {
    lookup.failure = e.description();
    lookup.openFailed = true;
    return lookup;
  }
  const std::pair<const std::optional<std::wstring>*, std::wstring*> bounds[] = {
      {&options.sinceLabel, &inputs.startDate}, {&options.untilLabel, &inputs.endDate}};
  for (const auto& [label, text] : bounds) {
    if (!*label) continue;
    std::optional<double> time;
    try {
      time = labelTime(*project, **label);
    } catch (const vss::Error& e) {
      lookup.failure = e.description();
      lookup.openFailed = true;
      return lookup;
    }
    if (!time) {
      lookup.failure = texts::labelNotFound(**label, projectSpec);
      return lookup;
    }
    // The engine reads the bound through the platform's conversion; it must give the same second.
    *text = dateText(*time);
    const std::optional<double> readBack = platform.toDate(*text);
    if (text->empty() || !readBack ||
        engine::wholeSeconds(*readBack) != engine::wholeSeconds(*time)) {
      lookup.failure = texts::kLabelTimeUnreadable + **label;
      return lookup;
    }
    lookup.notes.push_back(texts::labelBound(text == &inputs.startDate, **label, *text));
  }
  return lookup;
}

}  // namespace console
