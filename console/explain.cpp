// Explaining files: the records a run reads, the deciding one, the verdict.
#include "console/explain.h"

#include "console/labels.h"
#include "console/question_texts.h"

namespace console {
namespace {

template <typename Read>
std::wstring field(Read read) {
  try {
    return read();
  } catch (const vss::Error&) {
    return L"?";
  }
}

class Writer {
 public:
  explicit Writer(TextSink& out) : out_(out) {}
  void line(const std::wstring& text) { out_.write(text + L"\r\n"); }
  // One record: its version, time, user and action (and label), then its comment's lines.
  void record(vss::Version& record) {
    std::wstring head = L"  * " + std::wstring(texts::kVersion) +
                        field([&] { return std::to_wstring(record.versionNumber()); }) + L"  " +
                        field([&] { return dateText(record.date()); }) + L"  " +
                        field([&] { return record.username(); }) + L"  " +
                        field([&] { return record.action(); });
    const std::wstring label = field([&] { return record.label(); });
    if (!label.empty()) head += std::wstring(L"  ") + texts::kLabel + label;
    line(head);
    // A label's comment comes as its label comment (its Comment is empty).
    const std::wstring comment =
        field([&] { return label.empty() ? record.comment() : record.labelComment(); });
    if (comment.empty()) return;
    std::wstring_view rest = comment;
    bool first = true;
    while (true) {
      const std::size_t end = rest.find_first_of(L"\r\n");
      line((first ? L"      " + std::wstring(texts::kComment) : std::wstring(L"        ")) +
           std::wstring(rest.substr(0, end)));
      first = false;
      if (end == std::wstring_view::npos) break;
      rest.remove_prefix(end + (rest.substr(end, 2) == L"\r\n" ? 2 : 1));
    }
  }
  void mark(const std::wstring& text) { line(L"      -> " + text); }

 private:
  TextSink& out_;
};

// Shows each record the selection passes over as it reads it.
class PassedOverWriter : public engine::SelectionObserver {
 public:
  explicit PassedOverWriter(Writer& writer) : writer_(writer) {}
  void passedOver(vss::Version& record, engine::PassedOver why) override {
    writer_.record(record);
    switch (why) {
      case engine::PassedOver::BuildUser:
        writer_.mark(texts::kPassedOverBuildUser);
        break;
      case engine::PassedOver::Label:
        writer_.mark(texts::kPassedOverLabel);
        break;
      case engine::PassedOver::AbovePin:
        writer_.mark(texts::kPassedOverAbovePin);
        break;
    }
  }

 private:
  Writer& writer_;
};

// True when `spec` lies below the project `root` (both as the database spells them).
bool isBelow(engine::PlatformPort& platform, const std::wstring& spec, const std::wstring& root) {
  const std::wstring s = platform.toLower(spec), r = platform.toLower(root);
  if (r.empty()) return false;
  const std::wstring prefix = r.back() == L'/' ? r : r + L"/";
  return s.size() > prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The file's place as its project's items() gives it, which holds the pinned version where the
// project pins the file (the item looked up by its path holds the newest); none when the project
// cannot be listed.
std::unique_ptr<vss::Item> placeOf(engine::PlatformPort& platform, vss::Item& item) {
  try {
    const std::unique_ptr<vss::Item> parent = item.parent();
    if (!parent) return nullptr;
    const std::wstring name = platform.toLower(item.name());
    for (std::unique_ptr<vss::Item>& child : parent->items(false)) {
      if (child->type() != vss::kTypeProject && platform.toLower(child->name()) == name) {
        return std::move(child);
      }
    }
  } catch (const vss::Error&) {
  }
  return nullptr;
}

std::wstring verdictText(engine::Verdict verdict, const engine::RunState& state) {
  using engine::Verdict;
  switch (verdict) {
    case Verdict::Selected:
      return texts::kSelected;
    case Verdict::NotAfterStart:
      return texts::notAfterStart(dateText(state.startDate));
    case Verdict::NotBeforeEnd:
      return texts::notBeforeEnd(dateText(state.endDate));
    case Verdict::OtherUser:
      return texts::otherUser(state.targetUser);
    case Verdict::NoRecord:
      break;
  }
  return texts::kNoRecordLeft;
}

}  // namespace

ExplainOutcome explainFiles(engine::Patcher& patcher, engine::PlatformPort& platform,
                            vss::Database& database, vss::Item& project,
                            const std::vector<std::wstring>& paths, TextSink& out) {
  ExplainOutcome outcome;
  Writer writer(out);
  std::wstring root;
  try {
    root = project.spec();
  } catch (const vss::Error&) {
    root = patcher.state().project;
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    // A blank line between two files, written with the next one's first line (a sink may leave
    // out a line break that stands alone at the start of a line).
    const std::wstring gap = i == 0 ? L"" : L"\r\n";
    const std::wstring& path = paths[i];
    std::unique_ptr<vss::Item> item;
    std::wstring spec = path;
    try {
      item = engine::storedSpelling(database, database.vssItem(path, false), platform);
      spec = item->spec();
      if (item->type() == vss::kTypeProject) {
        writer.line(gap + spec);
        writer.line(std::wstring(L"  ") + texts::kNotAFile);
        ++outcome.missing;
        continue;
      }
    } catch (const vss::Error& e) {
      writer.line(gap + path);
      writer.line(L"  " + std::wstring(texts::kNotFound) + e.description());
      ++outcome.missing;
      continue;
    }
    ++outcome.explained;
    writer.line(gap + spec);
    if (!isBelow(platform, spec, root)) writer.line(L"  " + texts::notBelowProject(root));

    // A run decides on the place its project's items() give; a pinned place says so first.
    const std::unique_ptr<vss::Item> place = placeOf(platform, *item);
    vss::Item& file = place ? *place : *item;
    if (place) {
      try {
        const long held = place->versionNumber();
        if (held < item->versionNumber()) writer.line(L"  " + texts::pinnedAt(held));
      } catch (const vss::Error&) {
      }
    }

    PassedOverWriter passedOver(writer);
    std::wstring verdict;
    try {
      const std::unique_ptr<vss::VersionCursor> history = file.versions(0);
      engine::Decision decision = patcher.decide(file, *history, &passedOver, true);
      if (decision.record) {
        writer.record(*decision.record);
        writer.mark(texts::kDeciding);
        if (!field([&] { return decision.record->label(); }).empty()) {
          writer.mark(texts::labelCovers(decision.labelCovers));
        }
      }
      verdict = verdictText(decision.verdict, patcher.state());
      // The rest of the history, which a run does not read to decide.
      for (const std::unique_ptr<vss::Version>& older : decision.readOn) {
        writer.record(*older);
        writer.mark(texts::kNotRead);
      }
      try {
        while (const std::unique_ptr<vss::Version> older = history->next()) {
          writer.record(*older);
          writer.mark(texts::kNotRead);
        }
      } catch (const vss::Error& e) {
        writer.line(L"  " + e.description());
      }
    } catch (const vss::Error& e) {
      verdict = engine::damagedStatus(e.status())
                    ? std::wstring(texts::kDamagedVerdict)
                    : std::wstring(texts::kHistoryUnreadable) + e.description();
    }
    writer.line(L"  " + std::wstring(texts::kVerdict) + verdict);
  }
  return outcome;
}

}  // namespace console
