#include "RecordCore/ChangeMask.h"

#include <algorithm>
#include <stdexcept>

namespace vi {

std::size_t ChangeMaskView::count() const
{
    std::size_t total = 0;
    for (std::uint64_t word : words_) {
        total += static_cast<std::size_t>(std::popcount(word));
    }
    return total;
}

std::span<std::uint64_t> ChangeMaskList::appendUnchanged()
{
    words_.resize(words_.size() + wordsPerMask_, 0);
    ++count_;
    return std::span(words_).subspan(words_.size() - wordsPerMask_, wordsPerMask_);
}

void ChangeMaskList::append(ChangeMaskView mask)
{
    if (mask.cells() != cells_) {
        throw std::invalid_argument("a change mask of a different grid size cannot join this list");
    }
    std::ranges::copy(mask.words(), appendUnchanged().begin());
}

} // namespace vi
