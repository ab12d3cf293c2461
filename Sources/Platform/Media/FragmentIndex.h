#pragma once

// Internal to the media layer: the finishing step of a fragmented MP4.

#include <filesystem>

namespace vi::media::detail {

// Gives a finished fragmented MP4 the complete index of a plain one, in place, so that it opens and
// seeks as fast as a plain MP4 without a second copy of its media: a full "moov" is appended, and
// then one 16-byte write turns the fragmented header into the start of a single "mdat" that holds
// all the fragments, which readers skip in one step. Until that last write the file stays a valid
// fragmented MP4 (the appended index is a duplicate readers ignore), so a kill at any moment
// leaves a playable file. Returns false, with the file as it was, when the file is not laid out
// as expected or cannot be written.
bool indexFragmentedFile(const std::filesystem::path& path) noexcept;

} // namespace vi::media::detail
