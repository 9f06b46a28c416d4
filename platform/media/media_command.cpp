#include "media_command.h"

#include "mci_error.h"
#include "short_path.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace vantrel {
namespace {

using Words = std::vector<std::string_view>;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

Words SplitWords(std::string_view text) {
    Words words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        const size_t start = at;
        while (at < text.size() && !IsBlank(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    return words;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(std::string_view word, std::string_view keyword) {
    return word.size() == keyword.size() &&
           std::equal(word.begin(), word.end(), keyword.begin(), [](char a, char b) { return AsciiLower(a) == b; });
}

ParsedMediaCommand Refused() { return {MediaCommand{}, mci::kUnrecognizedCommand}; }

ParsedMediaCommand Accepted(MediaVerb verb, std::string path = {}) {
    return {MediaCommand{verb, std::string(kTrackAlias), std::move(path)}, mci::kSuccess};
}

ParsedMediaCommand ParseOpen(const Words& words) {
    if (words.size() != 6 || !SameWord(words[2], "type") || !SameWord(words[3], "mpegvideo") ||
        !SameWord(words[4], "alias") || !SameWord(words[5], kTrackAlias))
        return Refused();
    std::optional<std::string> path = DecodeShortPath(words[1]);
    if (!path) return {MediaCommand{}, mci::kInvalidFile};
    return Accepted(MediaVerb::Open, std::move(*path));
}

ParsedMediaCommand ParsePlay(const Words& words) {
    if (words.size() == 2) return Accepted(MediaVerb::Play);
    if (words.size() == 4 && SameWord(words[2], "from") && words[3] == "0") return Accepted(MediaVerb::PlayFromStart);
    return Refused();
}

ParsedMediaCommand ParseStatus(const Words& words) {
    if (words.size() != 3) return Refused();
    if (SameWord(words[2], "length")) return Accepted(MediaVerb::StatusLength);
    if (SameWord(words[2], "position")) return Accepted(MediaVerb::StatusPosition);
    return Refused();
}

ParsedMediaCommand ParseAliasOnly(const Words& words, MediaVerb verb) {
    return words.size() == 2 ? Accepted(verb) : Refused();
}

} // namespace

ParsedMediaCommand ParseMediaCommand(std::string_view text) {
    const Words words = SplitWords(text);
    if (words.empty()) return {MediaCommand{}, mci::kMissingCommandString};
    if (SameWord(words[0], "open")) return ParseOpen(words);
    if (words.size() < 2 || !SameWord(words[1], kTrackAlias)) return Refused();
    if (SameWord(words[0], "play")) return ParsePlay(words);
    if (SameWord(words[0], "status")) return ParseStatus(words);
    if (SameWord(words[0], "stop")) return ParseAliasOnly(words, MediaVerb::Stop);
    if (SameWord(words[0], "close")) return ParseAliasOnly(words, MediaVerb::Close);
    return Refused();
}

} // namespace vantrel
