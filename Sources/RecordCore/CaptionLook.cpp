#include "RecordCore/CaptionLook.h"

#include "RecordCore/CaptionLayout.h"

namespace vi {

std::optional<CaptionLook> CaptionLook::of(const Project& project, const Plan& plan) {
    if (!project.showCaptions) return std::nullopt;
    const std::vector<CaptionLayout::Line> laidOut = CaptionLayout::lines(project, plan);
    if (laidOut.empty()) return std::nullopt;

    CaptionLook look{{}, project.captionStyle, project.captionSize, project.captionBottom};
    look.lines.reserve(laidOut.size());
    for (const CaptionLayout::Line& line : laidOut) {
        std::vector<std::string>& texts = look.lines.emplace_back();
        texts.reserve(line.words.size());
        for (const CaptionLayout::Word& word : line.words) texts.push_back(word.text);
    }
    return look;
}

} // namespace vi
