// Writes a raw NTFS image of N file records, so that whole scans can be measured on volumes far
// larger than the fixtures: a boot sector and an MFT in a few extents, holding a folder tree like
// a used system volume's (folders 1 to 12 deep, names of 1 to 60 characters, some not ASCII,
// sizes from 0 bytes to gigabytes, resident, sparse, compressed and fragmented data, hard links,
// names and data moved to extension records behind attribute lists, deleted records).
//
// The MFT is streamed to the file in order, a chunk at a time, and the data clusters of files are
// never written: the image is sparse and 8 million records need little memory. Every decision is
// drawn from a fixed seed and from what it is about, so runs write the same image and a record
// can be worked out again when a folder index needs it.
//
//   kestrin-make-image [--indexes] RECORDS OUTPUT.img
//
// --indexes also writes what tools that walk the folder tree read (folder index blocks, $AttrDef,
// $UpCase, the bitmaps, $MFTMirr), so that The Sleuth Kit's fls can list the image. The scanner
// reads none of it, and the MFT is the same either way.
//
// The parts are in make-image/: the tree it plans (TreePlan, FileNames, FileShape), the records
// it writes (RecordWriter, FolderIndex, and the Generator's SystemRecords, FolderRecords and
// FileRecords) and the image file (ImageFile, MftStream, the Generator's end).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "make-image/Generator.h"

namespace kestrin::image {
namespace {

std::string Thousands(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

int Main(int argc, char** argv) {
    bool indexes = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--indexes") == 0) {
            indexes = true;
        } else {
            args.emplace_back(argv[i]);
        }
    }
    if (args.size() != 2 || std::atoll(args[0].c_str()) < 64) {
        std::fprintf(
            stderr,
            "usage: kestrin-make-image [--indexes] RECORDS OUTPUT.img\n"
            "Writes a sparse raw NTFS image whose MFT holds RECORDS (at least 64) file records.\n"
            "--indexes  also write the folder indexes and small system files that fls reads\n");
        return 2;
    }
    const std::int64_t records = std::atoll(args[0].c_str());
    const auto start = std::chrono::steady_clock::now();
    try {
        Generator generator(records, args[1].c_str(), indexes);
        const Totals t = generator.Run();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto& extents = generator.Extents();
        std::printf("kestrin-make-image: %s records -> %s%s\n", Thousands(records).c_str(),
                    args[1].c_str(), indexes ? " (with folder indexes)" : "");
        std::printf(
            "  files %s  folders %s   (as kestrin-scan counts: named base records; folders without "
            "the root)\n",
            Thousands(t.files).c_str(), Thousands(t.folders).c_str());
        std::printf("  total size %s bytes; largest file %s bytes; %s files of 1 GiB or more\n",
                    Thousands(t.bytes).c_str(), Thousands(t.largest).c_str(),
                    Thousands(t.gigabyteFiles).c_str());
        std::printf("  records: %s extension, %s deleted, %s free\n",
                    Thousands(t.extensionRecords).c_str(), Thousands(t.deleted).c_str(),
                    Thousands(t.freeRecords).c_str());
        std::printf(
            "  attribute lists: %s with names outside, %s with data in two extents outside, %s "
            "with both outside\n",
            Thousands(t.namesOutside).c_str(), Thousands(t.dataOutside).c_str(),
            Thousands(t.allOutside).c_str());
        std::printf(
            "  data: %s resident, %s sparse, %s compressed, %s fragmented; %s Zone.Identifier "
            "streams\n",
            Thousands(t.resident).c_str(), Thousands(t.sparse).c_str(),
            Thousands(t.compressed).c_str(), Thousands(t.fragmented).c_str(),
            Thousands(t.zoneStreams).c_str());
        std::printf("  names: %s hard links, %s 8.3 names, %s POSIX names, %s names not in ASCII\n",
                    Thousands(t.linkNames).c_str(), Thousands(t.dosNames).c_str(),
                    Thousands(t.posixNames).c_str(), Thousands(t.foreignNames).c_str());
        std::printf("  folders by depth:");
        for (std::size_t d = 1; d < t.depths.size(); ++d) {
            std::printf(" %zu:%s", d, Thousands(t.depths[d]).c_str());
        }
        std::printf("\n  folder indexes: %s large, %s index blocks\n",
                    Thousands(t.largeIndexes).c_str(), Thousands(t.indexBlocks).c_str());
        std::printf("  MFT extents (lcn+clusters):");
        for (const Piece& e : extents) {
            std::printf(" %s+%s", Thousands(e.lcn).c_str(), Thousands(e.clusters).c_str());
        }
        std::printf("\n  volume %s clusters of 4096 bytes (%.1f GiB); %s bytes written\n",
                    Thousands(generator.VolumeClusters()).c_str(),
                    static_cast<double>(generator.VolumeClusters()) * kCluster / (1 << 30),
                    Thousands(generator.BytesWritten()).c_str());
        std::printf(
            "  expected `fls -r -p -u` lines: %s (names in folder indexes but 8.3 names, with "
            "named streams)\n",
            Thousands(generator.ExpectedFlsLines()).c_str());
        std::printf("  %.1f seconds\n", seconds);
        std::printf(
            "summary records=%lld files=%lld folders=%lld bytes=%lld fls=%lld seconds=%.1f\n",
            static_cast<long long>(records), static_cast<long long>(t.files),
            static_cast<long long>(t.folders), static_cast<long long>(t.bytes),
            static_cast<long long>(generator.ExpectedFlsLines()), seconds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kestrin-make-image: %s\n", failure.what());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace kestrin::image

int main(int argc, char** argv) {
    return kestrin::image::Main(argc, argv);
}
