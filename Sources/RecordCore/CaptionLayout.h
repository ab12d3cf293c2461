#pragma once

#include "RecordCore/Plan.h"
#include "RecordCore/Project.h"

#include <string>
#include <vector>

namespace vi {

// Burned-in captions are shown one short line at a time. The layout places a project's
// recognised words on a plan's output time, leaves out words spoken in removed footage and
// groups the rest into lines by count, length, pauses and sentence ends. The compositor's
// caption inputs and the scene call it with the same project and plan, so their line indexes
// agree.
namespace CaptionLayout {

struct Word {
    std::string text;
    double start = 0; // output seconds
    double end = 0;
    bool operator==(const Word&) const = default;
};

struct Line {
    std::vector<Word> words; // in spoken order; a word may run past the line's end
    double start = 0;        // output time from which the line shows
    double end = 0;          // output time from which it no longer shows
    bool operator==(const Line&) const = default;
};

// A line holds at most this many words ...
inline constexpr int maxWords = 6;
// ... and fewer characters than this, counting one space between words.
inline constexpr int maxCharacters = 35;
// A pause longer than this (output seconds) between two words starts a new line.
inline constexpr double maxPause = 0.7;
// The shortest time a word is marked, so that a word is never a flicker.
inline constexpr double shortestWord = 0.08;
// A line shows a little before its first word and stays a little after its last.
inline constexpr double leadIn = 0.05;
inline constexpr double linger = 0.35;

// The caption lines of `project.captions` on `plan`'s output time, in spoken order; each line
// ends no later than the next one starts. Reads only the words (whether captions show at all
// is the caller's decision).
std::vector<Line> lines(const Project& project, const Plan& plan);

// Length of a text in user-perceived characters (grapheme clusters), not bytes.
int characterCount(const std::string& text);

} // namespace CaptionLayout
} // namespace vi
