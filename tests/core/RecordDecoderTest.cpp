// Hand-made file records, sound and broken the way disks break them, through the decoders.
#include <gtest/gtest.h>

#include "core/RecordBuilder.h"
#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/ExtensionIndex.h"
#include "scan/ntfs/RecordDataSizes.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/ntfs/RecordFixup.h"

namespace kestrin {
namespace {

using test::Put;
using test::RecordBuilder;

constexpr std::uint16_t kInUse = 0x01;
constexpr std::uint16_t kDirectory = 0x03;

std::optional<MftEntry> Decode(std::vector<std::uint8_t> record, std::int64_t number = 40) {
    ApplyFixup(record);
    MftEntry entry;
    if (!DecodeBaseRecord(ByteReader(record), number, entry)) {
        return std::nullopt;
    }
    return entry;
}

std::optional<MftEntry> DecodeSlot(const std::vector<std::uint8_t>& image, std::int64_t number) {
    std::vector<std::uint8_t> scratch;
    MftEntry entry;
    if (!DecodeRecordSlot(image, 1024, number, scratch, entry)) {
        return std::nullopt;
    }
    return entry;
}

TEST(ApplyFixup, RestoresEveryStrideOfSoundRecords) {
    for (std::size_t size : {1024u, 4096u}) {
        std::vector<std::uint8_t> plain =
            RecordBuilder(size).FileName(5, u"a.txt").ResidentData(3).Build(false);
        Put(plain, 510, 0x1234, 2);
        Put(plain, size - 2, 0x5678, 2);
        // Protect the same bytes the way NTFS writes them to disk.
        std::vector<std::uint8_t> disk = plain;
        const std::size_t count = size / 512 + 1;
        for (std::size_t i = 0; i + 1 < count; ++i) {
            disk[0x32 + 2 * i] = disk[i * 512 + 510];
            disk[0x33 + 2 * i] = disk[i * 512 + 511];
            Put(disk, i * 512 + 510, 0xA55A, 2);
        }
        ASSERT_TRUE(ApplyFixup(disk));
        std::copy(disk.begin() + 0x30, disk.begin() + 0x30 + 2 * static_cast<std::ptrdiff_t>(count),
                  plain.begin() + 0x30);
        EXPECT_EQ(disk, plain) << size;
    }
}

TEST(ApplyFixup, TornSectorIsLeftAsFoundAndStillDecodes) {
    std::vector<std::uint8_t> record = RecordBuilder()
                                           .StandardInformation(7, 0x20)
                                           .FileName(5, u"torn.bin")
                                           .ResidentData(10)
                                           .Build();
    // The second sector was written by an older update: its tail does not carry the sequence.
    Put(record, 1022, 0x0BAD, 2);
    ASSERT_TRUE(ApplyFixup(record));
    EXPECT_EQ(record[1022], 0xAD);
    MftEntry entry;
    ASSERT_TRUE(DecodeBaseRecord(ByteReader(record), 40, entry));
    EXPECT_EQ(entry.name, L"torn.bin");
}

TEST(ApplyFixup, RejectsArraysThatDoNotFit) {
    std::vector<std::uint8_t> record = RecordBuilder().Build();
    Put(record, 0x06, 1, 2);
    EXPECT_FALSE(ApplyFixup(record));
    Put(record, 0x06, 600, 2);
    EXPECT_FALSE(ApplyFixup(record));
    Put(record, 0x06, 3, 2);
    Put(record, 0x04, 1020, 2);
    EXPECT_FALSE(ApplyFixup(record));
    std::vector<std::uint8_t> tiny(7);
    EXPECT_FALSE(ApplyFixup(tiny));
}

TEST(DecodeBaseRecord, TakesModificationTimeAttributesAndResidentSize) {
    auto entry = Decode(RecordBuilder()
                            .StandardInformation(0x01D9000000000000, 0x21, 0x01DA000000000000)
                            .FileName(77, u"notes.txt", 3, false, 999, 4096)
                            .ResidentData(123)
                            .Build());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->recordNumber, 40);
    EXPECT_EQ(entry->parentRecord, 77);
    EXPECT_EQ(entry->name, L"notes.txt");
    EXPECT_FALSE(entry->isDirectory);
    EXPECT_EQ(entry->size, 123);
    EXPECT_EQ(entry->allocated, 123);
    EXPECT_EQ(entry->time, 0x01D9000000000000);  // last modification, not last access
    EXPECT_EQ(entry->attributes, 0x21u);
}

TEST(DecodeBaseRecord, ChoosesNamesByNamespaceThenAttributeOrder) {
    auto win32 = Decode(
        RecordBuilder().FileName(5, u"LONGNA~1.TXT", 2).FileName(6, u"long name.txt", 1).Build());
    EXPECT_EQ(win32->name, L"long name.txt");
    EXPECT_EQ(win32->parentRecord, 6);

    auto dosOnly = Decode(RecordBuilder().FileName(5, u"SHORT.TXT", 2).Build());
    EXPECT_EQ(dosOnly->name, L"SHORT.TXT");

    auto posixOverDos =
        Decode(RecordBuilder().FileName(5, u"A~1", 2).FileName(9, u"a:b", 0).Build());
    EXPECT_EQ(posixOverDos->name, L"a:b");

    // Hard links: equal priority, so the first name in attribute order and its parent.
    auto links = Decode(RecordBuilder()
                            .FileName(30, u"first", 1)
                            .FileName(31, u"second", 1)
                            .FileName(32, u"third", 3)
                            .Build());
    EXPECT_EQ(links->name, L"first");
    EXPECT_EQ(links->parentRecord, 30);

    auto unknownNamespace =
        Decode(RecordBuilder().FileName(5, u"odd", 9).FileName(5, u"dos", 2).Build());
    EXPECT_EQ(unknownNamespace->name, L"dos");
}

TEST(DecodeBaseRecord, NamesOutsideTheBasicPlaneKeepTheirCharacters) {
    auto entry = Decode(RecordBuilder().FileName(5, u"\U0001F600 \u6587\u4EF6.txt").Build());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, L"\U0001F600 \u6587\u4EF6.txt");
}

TEST(DecodeBaseRecord, DotNamesBelongOnlyToTheRoot) {
    auto root = Decode(RecordBuilder().Flags(kDirectory).FileName(5, u".", 3, true).Build(), 5);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, L".");
    EXPECT_EQ(root->parentRecord, 5);
    EXPECT_TRUE(root->isDirectory);

    auto other = Decode(RecordBuilder()
                            .Flags(kDirectory)
                            .FileName(5, u"..", 1, true)
                            .FileName(12, u"real", 1, true)
                            .Build(),
                        40);
    EXPECT_EQ(other->name, L"real");

    EXPECT_FALSE(Decode(RecordBuilder().FileName(5, u".", 1).Build(), 40));
    // Names that merely begin with dots are names like any other; ".." leaves the short name.
    for (const std::u16string name : {u".a", u"...", u"..b", u".."}) {
        auto dotted =
            Decode(RecordBuilder().FileName(5, u"X~1", 2).FileName(7, name, 1).Build(), 41);
        ASSERT_TRUE(dotted);
        const bool parentLink = name == u"..";
        EXPECT_EQ(dotted->name, parentLink ? L"X~1" : std::wstring(name.begin(), name.end()));
        EXPECT_EQ(dotted->parentRecord, parentLink ? 5 : 7);
    }
}

TEST(DecodeBaseRecord, NamelessDirectoriesGetMadeUpNames) {
    // Below its own "." reference when it has one ...
    auto withSelf =
        Decode(RecordBuilder().Flags(kDirectory).FileName(88, u".", 1, true).Build(), 1234);
    ASSERT_TRUE(withSelf);
    EXPECT_EQ(withSelf->name, L"dir_1234");
    EXPECT_EQ(withSelf->parentRecord, 88);
    EXPECT_TRUE(withSelf->isDirectory);
    EXPECT_EQ(withSelf->size, 0);
    // ... else below the root.
    auto bare = Decode(RecordBuilder().Flags(kDirectory).StandardInformation(5, 0x10).Build(), 77);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->name, L"dir_77");
    EXPECT_EQ(bare->parentRecord, 5);
    // A nameless root is still ".".
    auto root = Decode(RecordBuilder().Flags(kDirectory).Build(), 5);
    EXPECT_EQ(root->name, L".");
    // A nameless file yields nothing.
    EXPECT_FALSE(Decode(RecordBuilder().ResidentData(5).Build()));
}

TEST(DecodeBaseRecord, HeaderDirectoryFlagMakesADirectoryWithoutSizes) {
    auto entry = Decode(RecordBuilder()
                            .Flags(kDirectory)
                            .FileName(5, u"folder", 1, false, 500, 512)
                            .ResidentData(40)
                            .Build());
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->isDirectory);
    EXPECT_EQ(entry->size, 0);
    EXPECT_EQ(entry->allocated, 0);
}

TEST(DecodeBaseRecord, RejectsRecordsThatAreNotBaseRecordsInUse) {
    const auto build = [] { return RecordBuilder().FileName(5, u"x.dat"); };
    EXPECT_TRUE(Decode(build().Build()));
    EXPECT_FALSE(Decode(build().Flags(0).Build()));        // free
    EXPECT_FALSE(Decode(build().BaseRecord(41).Build()));  // belongs to another record
    EXPECT_FALSE(Decode(build().Flags(kInUse | 0x04).BaseRecord(41).Build()));
    // NTFS sets flag 0x04 on the system files below $Extend, which are base records.
    EXPECT_TRUE(Decode(build().Flags(kInUse | 0x04 | 0x08).Build()));
    EXPECT_TRUE(Decode(build().BaseRecord(40).Build(), 40));  // names itself: a base record
    std::vector<std::uint8_t> record = build().Build();
    record[0] = 'B';
    EXPECT_FALSE(Decode(record));
    record = build().Build();
    Put(record, 0x14, 1024, 2);
    EXPECT_FALSE(Decode(record));
    EXPECT_FALSE(Decode(std::vector<std::uint8_t>(1024, 0)));
    std::vector<std::uint8_t> shortRecord(record.begin(), record.begin() + 23);
    MftEntry entry;
    EXPECT_FALSE(DecodeBaseRecord(ByteReader(shortRecord), 40, entry));
}

TEST(DecodeBaseRecord, NonResidentSizesAndTheirFallbacks) {
    RecordBuilder::NonResident plain;
    plain.dataSize = 10000;
    plain.allocated = 12288;
    plain.runList = test::EncodeRuns({{3, 100}});
    auto entry = Decode(RecordBuilder().FileName(5, u"big.bin").NonResidentData(plain).Build());
    EXPECT_EQ(entry->size, 10000);
    EXPECT_EQ(entry->allocated, 12288);

    // A data size of 0 falls back to the size recorded with the name.
    RecordBuilder::NonResident empty = plain;
    empty.dataSize = 0;
    entry =
        Decode(RecordBuilder().FileName(5, u"f", 1, false, 777, 0).NonResidentData(empty).Build());
    EXPECT_EQ(entry->size, 777);
    EXPECT_EQ(entry->allocated, 12288);

    // Negative sizes never come through.
    RecordBuilder::NonResident negative = plain;
    negative.dataSize = -5;
    negative.allocated = -9;
    entry = Decode(RecordBuilder().FileName(5, u"neg").NonResidentData(negative).Build());
    EXPECT_EQ(entry->size, 0);
    EXPECT_EQ(entry->allocated, 0);

    // Named streams are not the file's size; without unnamed data the name's sizes stand in.
    RecordBuilder::NonResident stream = plain;
    stream.name = u"Zone.Identifier";
    entry =
        Decode(RecordBuilder().FileName(5, u"s", 1, false, 50, 64).NonResidentData(stream).Build());
    EXPECT_EQ(entry->size, 50);
    EXPECT_EQ(entry->allocated, 64);

    // A non-resident header too short to hold the sizes is passed over.
    std::vector<std::uint8_t> stub(0x30);
    Put(stub, 0, 0x80, 4);
    Put(stub, 4, 0x30, 4);
    Put(stub, 8, 1, 1);
    Put(stub, 0x30 - 8, 0xFFFFFFFFFFFF, 8);
    entry = Decode(RecordBuilder().FileName(5, u"t", 1, false, 31, 0).RawAttribute(stub).Build());
    EXPECT_EQ(entry->size, 31);
    EXPECT_EQ(entry->allocated, 31);
}

TEST(DecodeBaseRecord, CompressedAndSparseStreamsReportWhatTheyOccupy) {
    RecordBuilder::NonResident sparse;
    sparse.dataSize = 50 << 20;
    sparse.allocated = 50 << 20;
    sparse.flags = 0x8000;
    sparse.totalAllocated = 0;
    sparse.runList = test::EncodeRuns({{12800, 0, true}});
    auto entry = Decode(RecordBuilder()
                            .FileName(5, u"sparse.img", 1, false, 0, 50 << 20)
                            .NonResidentData(sparse)
                            .Build());
    EXPECT_EQ(entry->size, 50 << 20);
    EXPECT_EQ(entry->allocated, 0);

    RecordBuilder::NonResident compressed = sparse;
    compressed.flags = 0x0001;
    compressed.totalAllocated = 65536;
    entry = Decode(RecordBuilder().FileName(5, u"c.log").NonResidentData(compressed).Build());
    EXPECT_EQ(entry->size, 50 << 20);
    EXPECT_EQ(entry->allocated, 65536);

    // Without the flag the header's allocated size is the answer, whatever lies at 0x40.
    RecordBuilder::NonResident plain = compressed;
    plain.flags = 0;
    entry = Decode(RecordBuilder().FileName(5, u"p").NonResidentData(plain).Build());
    EXPECT_EQ(entry->allocated, 50 << 20);
}

TEST(AttributeWalk, OverlongAttributeIsSteppedOverNotAbandoned) {
    // A header claiming to run past the record end hides nothing behind it: the walk moves on
    // 8 bytes at a time and finds the name that follows.
    std::vector<std::uint8_t> junk(8);
    Put(junk, 0, 0x40, 4);
    Put(junk, 4, 0x7000, 4);
    auto entry = Decode(RecordBuilder().RawAttribute(junk).FileName(5, u"after.txt").Build());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, L"after.txt");
}

TEST(AttributeWalk, ZeroOrNegativeLengthEndsTheWalk) {
    for (std::uint32_t length : {0u, 0x80000010u}) {
        std::vector<std::uint8_t> junk(16);
        Put(junk, 0, 0x40, 4);
        Put(junk, 4, length, 4);
        EXPECT_FALSE(Decode(RecordBuilder().RawAttribute(junk).FileName(5, u"hidden").Build()));
    }
}

TEST(DecodeBaseRecord, TruncatedNamesAndValuesAreIgnored) {
    // The name claims more characters than the record holds.
    std::vector<std::uint8_t> record =
        RecordBuilder().ResidentData(700).FileName(5, u"abc").Build(false);
    const std::size_t nameAttribute = 0x38 + 0x18 + 704;
    ASSERT_EQ(record[nameAttribute], 0x30);
    Put(record, nameAttribute + 0x18 + 0x40, 255, 1);
    EXPECT_FALSE(Decode(record));

    // A name attribute shorter than the fixed part of a name.
    std::vector<std::uint8_t> shortName = RecordBuilder().FileName(5, u"abc").Build(false);
    Put(shortName, 0x38 + 4, 0x40, 4);
    EXPECT_FALSE(Decode(shortName));

    // A value offset that points past the record end.
    std::vector<std::uint8_t> offsetOut = RecordBuilder().FileName(5, u"abc").Build(false);
    Put(offsetOut, 0x38 + 0x14, 0xFFF0, 2);
    EXPECT_FALSE(Decode(offsetOut));
}

TEST(DecodeWithAttributeList, FindsNamesInExtensionRecords) {
    const std::vector<RecordBuilder::ListEntry> list = {
        {0x10, 0, 20}, {0x30, 0, 21}, {0x30, 0, 22}, {0x80, 0, 20}, {0x30, 0, 999}};
    std::vector<std::vector<std::uint8_t>> records(23);
    records[20] = RecordBuilder()
                      .StandardInformation(55, 0x20)
                      .AttributeList(list)
                      .ResidentData(4000 - 3700)
                      .Build();
    records[21] = RecordBuilder()
                      .Flags(kInUse)
                      .BaseRecord(20)
                      .FileName(7, u"linked.txt", 1, false, 300, 304)
                      .Build();
    records[22] = RecordBuilder().Flags(0).BaseRecord(20).FileName(8, u"stale.txt", 1).Build();
    const auto image = test::MakeImage(records);

    auto entry = DecodeSlot(image, 20);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, L"linked.txt");
    EXPECT_EQ(entry->parentRecord, 7);
    EXPECT_EQ(entry->size, 300);
    EXPECT_EQ(entry->time, 55);
    // The extension record yields no entry of its own.
    EXPECT_FALSE(DecodeSlot(image, 21));
    EXPECT_FALSE(DecodeSlot(image, 22));
}

TEST(DecodeWithAttributeList, DirectoryTakesItsNameFromExtensionRecordsBeforeMakingOneUp) {
    // A folder with a long name: the driver moved its only $FILE_NAME to an extension record,
    // named from a resident list here and from the index of extension records when the list is
    // out of reach (non-resident).
    std::vector<std::vector<std::uint8_t>> records(5);
    records[1] = RecordBuilder().Flags(kDirectory).AttributeList({{0x30, 0, 2}}).Build();
    records[2] = RecordBuilder().BaseRecord(1).FileName(7, u"Long folder name", 3, true).Build();
    records[3] = RecordBuilder().Flags(kDirectory).StandardInformation(9, 0x10).Build();
    records[4] = RecordBuilder().BaseRecord(3).FileName(8, u"Other folder", 3, true).Build();
    const auto image = test::MakeImage(records);

    auto listed = DecodeSlot(image, 1);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->name, L"Long folder name");
    EXPECT_EQ(listed->parentRecord, 7);
    EXPECT_TRUE(listed->isDirectory);

    const ExtensionIndex index = ExtensionIndex::Build(image, 1024);
    std::vector<std::uint8_t> scratch;
    MftEntry indexed;
    ASSERT_TRUE(DecodeRecordSlot(image, 1024, 3, scratch, indexed, &index));
    EXPECT_EQ(indexed.name, L"Other folder");
    EXPECT_EQ(indexed.parentRecord, 8);
    // Without the index nothing names it: it keeps a made-up name below the root.
    auto unnamed = DecodeSlot(image, 3);
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->name, L"dir_3");
}

TEST(DecodeWithAttributeList, FileWithoutAnyNameYieldsNothing) {
    std::vector<std::vector<std::uint8_t>> records(3);
    records[1] = RecordBuilder().AttributeList({{0x30, 0, 2}}).Build();
    records[2] = RecordBuilder().BaseRecord(1).ResidentData(3).Build();
    EXPECT_FALSE(DecodeSlot(test::MakeImage(records), 1));
}

TEST(AttributeListRefs, NameAndDataReferencesFollowTheirRules) {
    const std::vector<RecordBuilder::ListEntry> list = {
        {0x10, 0, 40},                     // own record: never listed
        {0x30, 0, 41},    {0x30, 0, 41},   // duplicates once
        {0x80, 0, 42},    {0x80, 64, 43},  // only VCN 0 counts
        {0x80, 0, 44, 4},                  // named stream: a name reference but no data reference
        {0x30, 0, 0}};
    const std::vector<std::uint8_t> record = RecordBuilder().AttributeList(list).Build();
    std::vector<std::int64_t> names;
    NameExtensionRefs(ByteReader(record), 40, names);
    EXPECT_EQ(names, (std::vector<std::int64_t>{41, 42, 44}));
    std::vector<std::int64_t> data;
    DataExtensionRefs(ByteReader(record), 40, data);
    EXPECT_EQ(data, (std::vector<std::int64_t>{42}));
}

TEST(AttributeListRefs, DamagedEntriesStopTheList) {
    std::vector<std::uint8_t> value =
        RecordBuilder::ListValue({{0x30, 0, 41}, {0x30, 0, 42}, {0x30, 0, 43}});
    Put(value, 32 + 4, 10, 2);  // second entry shorter than an entry can be
    std::vector<std::uint8_t> attribute(0x18 + value.size());
    Put(attribute, 0, 0x20, 4);
    Put(attribute, 4, attribute.size(), 4);
    Put(attribute, 0x10, value.size() + 500, 4);  // value length beyond the record
    Put(attribute, 0x14, 0x18, 2);
    std::copy(value.begin(), value.end(), attribute.begin() + 0x18);
    const std::vector<std::uint8_t> record = RecordBuilder().RawAttribute(attribute).Build(false);
    std::vector<std::int64_t> refs;
    NameExtensionRefs(ByteReader(record), 40, refs);
    EXPECT_EQ(refs, (std::vector<std::int64_t>{41}));
}

TEST(RecordDataSizes, SumsUnnamedDataOfFileRecords) {
    RecordBuilder::NonResident extent;
    extent.dataSize = 0;
    extent.allocated = 8192;
    extent.lowestVcn = 2;
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    // A later extent carries no data size; its allocated size stands for both.
    std::vector<std::uint8_t> record =
        RecordBuilder().BaseRecord(30).NonResidentData(extent).Build();
    ApplyFixup(record);
    EXPECT_TRUE(RecordDataSizes(ByteReader(record), size, allocated));
    EXPECT_EQ(size, 8192);
    EXPECT_EQ(allocated, 8192);

    RecordBuilder::NonResident sparse;
    sparse.dataSize = 1 << 20;
    sparse.allocated = 1 << 20;
    sparse.flags = 0x8000;
    sparse.totalAllocated = 4096;
    record = RecordBuilder().ResidentData(10, u"ads").NonResidentData(sparse).Build();
    ApplyFixup(record);
    EXPECT_TRUE(RecordDataSizes(ByteReader(record), size, allocated));
    EXPECT_EQ(size, 1 << 20);
    EXPECT_EQ(allocated, 4096);

    record = RecordBuilder().Flags(kDirectory).ResidentData(10).Build();
    EXPECT_FALSE(RecordDataSizes(ByteReader(record), size, allocated));
    record = RecordBuilder().Flags(0).ResidentData(10).Build();
    EXPECT_FALSE(RecordDataSizes(ByteReader(record), size, allocated));
    record = RecordBuilder().ResidentData(0).Build();
    EXPECT_FALSE(RecordDataSizes(ByteReader(record), size, allocated));

    // Damaged sizes saturate instead of overflowing.
    RecordBuilder::NonResident huge;
    huge.dataSize = INT64_MAX - 1;
    huge.allocated = INT64_MAX - 1;
    record = RecordBuilder().NonResidentData(huge).NonResidentData(huge).Build();
    ApplyFixup(record);
    EXPECT_TRUE(RecordDataSizes(ByteReader(record), size, allocated));
    EXPECT_EQ(size, INT64_MAX);
}

}  // namespace
}  // namespace kestrin
