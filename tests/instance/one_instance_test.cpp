#include "instance/one_instance.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace revertly::instance {
namespace {

// A substitute for the named objects of one log-on, shared by several copies of the
// program. The block lives while a handle to it is open; handles and views are counted.
class FakeLogOn final : public NamedBlockPort {
  public:
    BlockHandle OpenForReading(std::u16string_view name) override {
        if (!Exists(name)) {
            return 0;
        }
        ++handles;
        return kBlock;
    }
    CreateResult Create(std::u16string_view name, std::uint32_t size) override {
        if (failCreate) {
            return {CreateOutcome::Failed, 0};
        }
        if (otherCopyCreatesFirst || handles > 0) {
            return {CreateOutcome::AlreadyExisted, 0};
        }
        EXPECT_EQ(size, 4u);
        this->name = name;
        bytes.fill(0);
        handles = 1;
        return {CreateOutcome::Created, kBlock};
    }
    const void* MapForReading(BlockHandle, std::uint32_t) override {
        return failMapForReading ? nullptr : Map();
    }
    void* MapForWriting(BlockHandle, std::uint32_t) override {
        return failMapForWriting ? nullptr : Map();
    }
    void Unmap(const void* view) override {
        EXPECT_EQ(view, bytes.data());
        EXPECT_GT(views--, 0);
    }
    void Close(BlockHandle block) override {
        EXPECT_EQ(block, kBlock);
        EXPECT_GT(handles--, 0);
        EXPECT_TRUE(handles > 0 || views == 0) << "closed before unmapped";
    }
    bool Exists(std::u16string_view wanted = u"Revertly") const {
        return handles > 0 && name == wanted;
    }
    unsigned char* Map() {
        ++views;
        return bytes.data();
    }

    static constexpr BlockHandle kBlock = 7;
    bool failCreate = false, otherCopyCreatesFirst = false;
    bool failMapForReading = false, failMapForWriting = false;
    std::u16string name;
    std::array<unsigned char, 4> bytes{};
    int handles = 0, views = 0;
};

TEST(OneInstance, FirstCopyHoldsTheBlockAndLaterCopiesEnd) {
    FakeLogOn logOn;
    OneInstance first(logOn);
    EXPECT_EQ(first.CheckOneInstance(0x1234ABCD).verdict, InstanceVerdict::Run);
    EXPECT_TRUE(logOn.Exists(u"Revertly"));
    EXPECT_EQ(logOn.bytes, (std::array<unsigned char, 4>{0xCD, 0xAB, 0x34, 0x12}));
    EXPECT_EQ(first.InstanceMapping(), FakeLogOn::kBlock);
    EXPECT_EQ(first.InstanceView(), logOn.bytes.data());
    {
        OneInstance later(logOn);
        const InstanceCheck check = later.CheckOneInstance(0x5678);
        EXPECT_EQ(check.verdict, InstanceVerdict::EndThisCopy);
        EXPECT_EQ(check.runningWindow, 0x1234ABCDu);
        EXPECT_EQ(later.InstanceMapping(), 0u);
        EXPECT_EQ(logOn.handles + logOn.views, 2) << "the later copy gave up what it opened";
        EXPECT_EQ(logOn.bytes[0], 0xCD) << "and left the block as it was";
    }
    first.ReleaseOneInstance();
    EXPECT_EQ(logOn.handles + logOn.views, 0);
    first.ReleaseOneInstance();  // holds nothing any more: nothing happens

    OneInstance afterQuit(logOn);
    EXPECT_EQ(afterQuit.CheckOneInstance(0x42).verdict, InstanceVerdict::Run);
    EXPECT_TRUE(logOn.Exists());
}

TEST(OneInstance, FailuresAndTheStartUpRace) {
    enum Failure { CreateFails, MapForWritingFails, MapForReadingFails, OtherCopyCreatesFirst };
    const struct {
        const char* what;
        bool otherCopyRuns;
        Failure failure;
        InstanceVerdict verdict;
        bool holdsBlock, holdsView;
    } cases[] = {
        {"create fails: runs unguarded", false, CreateFails, InstanceVerdict::Run, false, false},
        {"block cannot be written: still holds it", false, MapForWritingFails, InstanceVerdict::Run,
         true, false},
        {"other copy's block cannot be read: runs, holding nothing", true, MapForReadingFails,
         InstanceVerdict::Run, false, false},
        {"started together, the other copy created first: ends", false, OtherCopyCreatesFirst,
         InstanceVerdict::EndThisCopy, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeLogOn logOn;
        OneInstance other(logOn);
        if (c.otherCopyRuns) {
            other.CheckOneInstance(0x77);
        }
        const int othersHeld = logOn.handles + logOn.views;
        logOn.failCreate = c.failure == CreateFails;
        logOn.failMapForWriting = c.failure == MapForWritingFails;
        logOn.failMapForReading = c.failure == MapForReadingFails;
        logOn.otherCopyCreatesFirst = c.failure == OtherCopyCreatesFirst;

        OneInstance copy(logOn);
        EXPECT_EQ(copy.CheckOneInstance(0x99).verdict, c.verdict);
        EXPECT_EQ(copy.InstanceMapping() != 0, c.holdsBlock);
        EXPECT_EQ(copy.InstanceView() != nullptr, c.holdsView);
        EXPECT_EQ(logOn.handles + logOn.views, othersHeld + c.holdsBlock + c.holdsView);
        copy.ReleaseOneInstance();
        EXPECT_EQ(logOn.handles + logOn.views, othersHeld);
    }

    // A block that holds no window still keeps a later copy out.
    FakeLogOn logOn;
    logOn.failMapForWriting = true;
    OneInstance first(logOn);
    first.CheckOneInstance(0x99);
    logOn.failMapForWriting = false;
    OneInstance later(logOn);
    EXPECT_EQ(later.CheckOneInstance(0x55).verdict, InstanceVerdict::EndThisCopy);
}

}  // namespace
}  // namespace revertly::instance
