#pragma once

#include <cstddef>
#include <cstring>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// One record of RFC 4180 text, split at the start of `text`.
class CsvRecordSplitter {
public:
    enum class Outcome {
        kRecord,     // `Fields()` holds the record; `Length()` bytes were taken
        kNothing,    // `Length()` bytes were taken and hold no record (an empty last line)
        kNeedMore,   // the text ends inside the record and more of it may come
        kOpenQuote,  // the text ends, for good, inside a quoted field
    };

    // `atEnd`: no text follows `text`. Lines without a quote, nearly all, are split where they
    // lie, found with memchr and left in place; a record with a quote anywhere goes character by
    // character, as quoted fields may hold commas, doubled quotes and line breaks.
    Outcome Split(std::string_view text, bool atEnd) {
        fields_.clear();
        const void* newline = std::memchr(text.data(), '\n', text.size());
        if (newline == nullptr && !atEnd) {
            return Outcome::kNeedMore;
        }
        const std::size_t lineEnd =
            newline != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(newline) - text.data())
                : text.size();
        std::string_view line = text.substr(0, lineEnd);
        if (std::memchr(line.data(), '"', line.size()) != nullptr) {
            return SplitQuoted(text, atEnd);
        }
        length_ = newline != nullptr ? lineEnd + 1 : lineEnd;
        // CR LF ends a record; a CR anywhere else, the last byte of the text included, is text.
        if (newline != nullptr && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        SplitPlain(line);
        return Outcome::kRecord;
    }

    const std::vector<std::string_view>& Fields() const { return fields_; }
    std::size_t Length() const { return length_; }

private:
    void SplitPlain(std::string_view line) {
        while (true) {
            const std::size_t comma = line.find(',');
            fields_.push_back(line.substr(0, comma));
            if (comma == std::string_view::npos) {
                return;
            }
            line.remove_prefix(comma + 1);
        }
    }

    static bool Special(char c) { return c == '"' || c == ',' || c == '\n' || c == '\r'; }

    Outcome EndQuoted(std::size_t length) {
        length_ = length;
        fields_.assign(quoted_.begin(), quoted_.begin() + static_cast<std::ptrdiff_t>(used_));
        return Outcome::kRecord;
    }

    std::string& Field() { return quoted_[used_ - 1]; }

    Outcome SplitQuoted(std::string_view text, bool atEnd) {
        if (quoted_.empty()) {
            quoted_.emplace_back();
        }
        for (std::string& field : quoted_) {
            field.clear();
        }
        used_ = 1;
        bool quoted = false;
        std::size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            const bool last = i + 1 == text.size();
            if (quoted) {
                if (c != '"') {
                    const std::size_t quote = text.find('"', i);
                    const std::size_t end = quote == std::string_view::npos ? text.size() : quote;
                    Field().append(text.substr(i, end - i));
                    i = end;
                    continue;
                }
                // A quote closes the field unless another follows: whether one does must be seen.
                if (last && !atEnd) {
                    return Outcome::kNeedMore;
                }
                if (!last && text[i + 1] == '"') {
                    Field() += '"';
                    i += 2;
                    continue;
                }
                quoted = false;
                ++i;
                continue;
            }
            if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                if (used_ == quoted_.size()) {
                    quoted_.emplace_back();
                }
                ++used_;
            } else if (c == '\n') {
                return EndQuoted(i + 1);
            } else if (c == '\r') {
                if (last && !atEnd) {
                    return Outcome::kNeedMore;
                }
                if (!last && text[i + 1] == '\n') {
                    return EndQuoted(i + 2);
                }
                Field() += '\r';
            } else {
                std::size_t end = i + 1;
                while (end < text.size() && !Special(text[end])) {
                    ++end;
                }
                Field().append(text.substr(i, end - i));
                i = end;
                continue;
            }
            ++i;
        }
        if (!atEnd) {
            return Outcome::kNeedMore;
        }
        if (quoted) {
            return Outcome::kOpenQuote;
        }
        if (used_ == 1 && quoted_.front().empty()) {
            length_ = text.size();
            return Outcome::kNothing;
        }
        return EndQuoted(text.size());
    }

    std::vector<std::string_view> fields_;
    std::vector<std::string> quoted_;  // a quoted record's fields, reused from record to record
    std::size_t used_ = 0;
    std::size_t length_ = 0;
};

// Splits RFC 4180 text into records of fields as it is read, handing each record to `take`:
// records end in CR LF or LF. The text is read `chunkBytes` at a time, so an earlier scan of a
// million files is never held as text or as millions of strings, and a record's fields are views
// that hold until the next record. False when a quote is left open, or when `take` refuses a
// record.
template <typename Take>
bool SplitCsv(std::istream& in, Take&& take, std::size_t chunkBytes = std::size_t{1} << 20) {
    CsvRecordSplitter splitter;
    std::vector<char> buffer;
    std::size_t start = 0;  // the first byte not yet split
    bool atEnd = false;
    while (!atEnd) {
        // What the last chunk left of a record moves to the front, and the next chunk follows it.
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
        start = 0;
        const std::size_t kept = buffer.size();
        buffer.resize(kept + chunkBytes);
        in.read(buffer.data() + kept, static_cast<std::streamsize>(chunkBytes));
        buffer.resize(kept + static_cast<std::size_t>(in.gcount()));
        atEnd = !in;
        const std::string_view text(buffer.data(), buffer.size());
        while (start < text.size()) {
            const CsvRecordSplitter::Outcome outcome = splitter.Split(text.substr(start), atEnd);
            if (outcome == CsvRecordSplitter::Outcome::kOpenQuote) {
                return false;
            }
            if (outcome == CsvRecordSplitter::Outcome::kNeedMore) {
                break;
            }
            if (outcome == CsvRecordSplitter::Outcome::kRecord && !take(splitter.Fields())) {
                return false;
            }
            start += splitter.Length();
        }
    }
    return true;
}

}  // namespace kestrin
