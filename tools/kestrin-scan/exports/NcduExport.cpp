#include "tools/kestrin-scan/exports/NcduExport.h"

#include <charconv>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "scan/common/Utf16Text.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/DirectoryTree.h"
#include "tools/kestrin-scan/exports/BufferedOutput.h"
#include "tools/kestrin-scan/exports/Version.h"
#include "tools/kestrin-scan/report/ShownPaths.h"

namespace kestrin {

namespace {

// `text` quoted and escaped as a JSON string, handed to `append` in runs: the plain bytes between
// two escapes go out as one.
template <typename Append>
void AppendJsonString(std::string_view text, Append&& append) {
    static constexpr char kHex[] = "0123456789abcdef";
    append("\"");
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c != '"' && c != '\\' && byte >= 0x20) {
            continue;
        }
        append(text.substr(plain, i - plain));
        if (byte < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0x0F]};
            append(std::string_view(escape, sizeof escape));
        } else {
            const char escape[] = {'\\', c};
            append(std::string_view(escape, sizeof escape));
        }
        plain = i + 1;
    }
    append(text.substr(plain));
    append("\"");
}

constexpr std::int64_t kFileTimeOf1970 = 116444736000000000;
constexpr std::int64_t kFileTimePerSecond = 10000000;

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* out) : out_(out) {}

    JsonWriter& operator<<(std::string_view text) {
        out_.Append(text);
        return *this;
    }
    JsonWriter& operator<<(std::int64_t number) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
    }
    // A name as a JSON string, written as it is escaped rather than gathered first.
    JsonWriter& Name(std::wstring_view name) {
        utf8_ = Utf8FromWide(name);
        AppendJsonString(utf8_, [&](std::string_view part) { out_.Append(part); });
        return *this;
    }
    JsonWriter& FileName(const NameText& name) {
        utf8_.clear();
        name.AppendUtf8(utf8_);
        AppendJsonString(utf8_, [&](std::string_view part) { out_.Append(part); });
        return *this;
    }
    bool Flush() { return out_.Flush(); }

private:
    BufferedOutput out_;
    std::string utf8_;
};

void WriteFile(JsonWriter& json, const FileRow& file) {
    json << ",\n{\"name\":";
    json.FileName(file.name) << ",\"asize\":" << file.size << ",\"dsize\":" << file.allocated
                             << ",\"ino\":" << file.recordNumber;
    if (const std::int64_t mtime = UnixSeconds(file.time); mtime > 0) {
        json << ",\"mtime\":" << mtime;
    }
    json << "}";
}

// A folder's info object and its own files; its subfolders follow before its closing bracket.
void OpenFolder(JsonWriter& json, const ScanResult& result, const DirNode& folder,
                const std::wstring& name) {
    json << "[{\"name\":";
    json.Name(name) << ",\"ino\":" << folder.recordNumber;
    if (folder.indexAllocated > 0) {
        json << ",\"dsize\":" << folder.indexAllocated;
    }
    if (const std::int64_t mtime = UnixSeconds(folder.time); mtime > 0) {
        json << ",\"mtime\":" << mtime;
    }
    json << "}";
    const auto files = result.dirFiles.find(folder.recordNumber);
    if (files != result.dirFiles.end()) {
        for (const FileRow& file : files->second) {
            WriteFile(json, file);
        }
    }
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    AppendJsonString(text, [&](std::string_view part) { quoted += part; });
    return quoted;
}

std::int64_t UnixSeconds(std::int64_t fileTime) {
    return fileTime > kFileTimeOf1970 ? (fileTime - kFileTimeOf1970) / kFileTimePerSecond : 0;
}

bool WriteNcdu(const ScanResult& result, std::FILE* out, std::int64_t timestamp) {
    JsonWriter json(out);
    json << "[1,2,{\"progname\":\"kestrin-scan\",\"progver\":" << JsonString(kProgramVersion)
         << ",\"timestamp\":" << timestamp << "},\n";
    const auto root = result.dirs.find(result.rootRecord);
    if (root == result.dirs.end()) {
        json << "[{\"name\":" << JsonString(Utf8FromWide(result.drive + L":\\")) << "}]]\n";
        return json.Flush();
    }
    // Depth-first with an explicit stack, each frame a folder and the next of its children:
    // folder trees can be deeper than the call stack. A folder met twice is written once.
    struct Frame {
        const DirNode* folder;
        std::size_t next;
    };
    std::unordered_set<std::int64_t> written = {result.rootRecord};
    std::vector<Frame> stack = {{&root->second, 0}};
    OpenFolder(json, result, root->second, ShownFolderPath(result, result.rootRecord));
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.folder->children.size()) {
            json << "]";
            stack.pop_back();
            continue;
        }
        const std::int64_t child = frame.folder->children[frame.next++];
        const auto found = result.dirs.find(child);
        if (found == result.dirs.end() || !written.insert(child).second) {
            continue;
        }
        json << ",\n";
        OpenFolder(json, result, found->second, found->second.name);
        stack.push_back({&found->second, 0});
    }
    json << "]\n";
    return json.Flush();
}

}  // namespace kestrin
