#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vi {

// The changed-cell flags of one measured frame, packed 64 cells to a word (cell i is bit i % 64
// of word i / 64). A recording keeps one mask per measured frame for its whole length, so the
// packing is what keeps an hour of masks in megabytes.
class ChangeMaskView {
public:
    ChangeMaskView() = default;
    ChangeMaskView(std::span<const std::uint64_t> words, std::size_t cells) : words_(words), cells_(cells) {}

    std::size_t cells() const { return cells_; }
    std::span<const std::uint64_t> words() const { return words_; }
    bool operator[](std::size_t cell) const { return (words_[cell / 64] >> (cell % 64)) & 1U; }
    std::size_t count() const;

    // Calls visit(cell) for every changed cell, in ascending cell order.
    template <class Visit> void forEachChanged(Visit&& visit) const
    {
        for (std::size_t w = 0; w < words_.size(); ++w) {
            for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
                visit(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
            }
        }
    }

private:
    std::span<const std::uint64_t> words_;
    std::size_t cells_ = 0;
};

constexpr std::size_t maskWordCount(std::size_t cells) { return (cells + 63) / 64; }

// One mask that owns its flags; all cells start unchanged.
class ChangeMask {
public:
    ChangeMask() = default;
    explicit ChangeMask(std::size_t cells) : words_(maskWordCount(cells), 0), cells_(cells) {}

    std::size_t cells() const { return cells_; }
    bool operator[](std::size_t cell) const { return view()[cell]; }
    void set(std::size_t cell, bool changed = true)
    {
        const std::uint64_t bit = std::uint64_t{1} << (cell % 64);
        words_[cell / 64] = changed ? (words_[cell / 64] | bit) : (words_[cell / 64] & ~bit);
    }
    std::span<std::uint64_t> words() { return words_; }
    ChangeMaskView view() const { return {words_, cells_}; }
    operator ChangeMaskView() const { return view(); }

private:
    std::vector<std::uint64_t> words_;
    std::size_t cells_ = 0;
};

// The masks of a whole measurement, all of one grid size, stored back to back in one buffer.
class ChangeMaskList {
public:
    explicit ChangeMaskList(std::size_t cellsPerMask = 0)
        : cells_(cellsPerMask), wordsPerMask_(maskWordCount(cellsPerMask)) {}

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::size_t cellsPerMask() const { return cells_; }
    ChangeMaskView operator[](std::size_t index) const
    {
        return {std::span(words_).subspan(index * wordsPerMask_, wordsPerMask_), cells_};
    }

    // Adds a mask with no cell changed and returns its words for the caller to fill; the span
    // stays valid until the next append.
    std::span<std::uint64_t> appendUnchanged();
    void append(ChangeMaskView mask);
    void reserve(std::size_t masks) { words_.reserve(masks * wordsPerMask_); }
    // The bytes the flags take, for callers that keep an eye on memory.
    std::size_t byteSize() const { return words_.size() * sizeof(std::uint64_t); }

private:
    std::vector<std::uint64_t> words_;
    std::size_t cells_ = 0;
    std::size_t wordsPerMask_ = 0;
    std::size_t count_ = 0;
};

} // namespace vi
