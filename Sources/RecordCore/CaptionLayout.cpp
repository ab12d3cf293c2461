#include "RecordCore/CaptionLayout.h"

#include "RecordCore/PlanCuts.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace vi::CaptionLayout {

namespace {

bool endsSentence(const std::string& text) {
    return !text.empty() && (text.back() == '.' || text.back() == '?' || text.back() == '!');
}

class LineBuilder {
public:
    explicit LineBuilder(std::vector<Line>& finished) : finished_(finished) {}

    bool empty() const { return current_.empty(); }
    bool hasRoomFor(const Word& word, int characters) const {
        return static_cast<int>(current_.size()) < maxWords && word.start - current_.back().end <= maxPause &&
               characters + characters_ < maxCharacters;
    }
    void add(Word word, int characters) {
        current_.push_back(std::move(word));
        characters_ += characters + 1; // and the space before the next word
    }
    void close() {
        if (current_.empty()) return;
        const double start = std::max(0.0, current_.front().start - leadIn);
        const double end = current_.back().end + linger;
        finished_.push_back({std::move(current_), start, end});
        current_.clear();
        characters_ = 0;
    }

private:
    std::vector<Line>& finished_;
    std::vector<Word> current_;
    int characters_ = 0;
};

} // namespace

int characterCount(const std::string& text) {
    const QString string = QString::fromStdString(text);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, string);
    int count = 0;
    while (finder.toNextBoundary() > 0) ++count;
    return count;
}

std::vector<Line> lines(const Project& project, const Plan& plan) {
    std::vector<Line> result;
    if (!project.captions || project.captions->empty()) return result;

    LineBuilder line(result);
    for (const CaptionWord& spoken : *project.captions) {
        const std::optional<SpeedSegment> segment = plan.segment(spoken.start);
        if (!segment || removedByCut(plan, spoken.start)) continue;

        // Clipped to the end of its segment, so a word that runs into a wait does not last for
        // the whole sped-up stretch.
        const double start = plan.outputTime(spoken.start);
        const double end = std::max(start + shortestWord, plan.outputTime(std::min(spoken.end, segment->end)));
        Word word{spoken.text, start, end};
        const int characters = characterCount(spoken.text);

        if (!line.empty() && !line.hasRoomFor(word, characters)) line.close();
        line.add(std::move(word), characters);
        if (endsSentence(spoken.text)) line.close();
    }
    line.close();

    for (std::size_t i = 0; i + 1 < result.size(); ++i) {
        result[i].end = std::min(result[i].end, result[i + 1].start);
    }
    return result;
}

} // namespace vi::CaptionLayout
