#include "sim/Tracker.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvessan::sim {
namespace {

using namespace std::chrono_literals;

const TDuration Character = CharacterTime(TrackerLine);

// Feeds text to the tracker at the line's rate, starting at `start`; returns
// the time the last byte arrived.
TTime Feed(TTracker &tracker, std::string_view text, TTime start) {
  TTime at = start;
  for (const char c : text) {
    at += Character;
    tracker.Receive({at, static_cast<std::uint8_t>(c)});
  }
  return at;
}

std::string Text(const std::vector<TTimedByte> &bytes) {
  std::string text;
  for (const TTimedByte &byte : bytes)
    text.push_back(static_cast<char>(byte.Value));
  return text;
}

struct TPiece {
  TDuration PauseBefore;
  std::string Text;
};

TEST(TrackerIntake, LinesAndTheirReplies) {
  struct TCase {
    const char *Name;
    std::vector<TPiece> Pieces;
    bool PoweredUpWithPcConnection;
    std::string Reply;
  };
  const std::string version = "QUIN-2.4g\n";
  const std::string junk(600, 'j');
  const TCase cases[] = {
      {"the request", {{0ms, "FL_READ_VERSION$"}}, false, version},
      {"leading CR", {{0ms, "\rFL_READ_VERSION$"}}, false, ""},
      {"leading LF", {{0ms, "\nFL_READ_VERSION$"}}, false, ""},
      {"leading space", {{0ms, " FL_READ_VERSION$"}}, false, ""},
      {"lower case", {{0ms, "fl_read_version$"}}, false, ""},
      {"no terminator", {{0ms, "FL_READ_VERSION"}}, false, ""},
      {"bytes between name and $", {{0ms, "FL_READ_VERSION,xyz 12$"}}, false, version},
      {"two requests in one write", {{0ms, "FL_READ_VERSION$FL_READ_VERSION$"}}, false, version},
      {"two requests apart", {{0ms, "FL_READ_VERSION$"}, {10ms, "FL_READ_VERSION$"}}, false, version + version},
      {"pieces 150 ms apart", {{0ms, "FL_READ_"}, {150ms, "VERSION$"}}, false, version},
      {"pieces 201 ms apart", {{0ms, "FL_READ_"}, {201ms, "VERSION$"}}, false, ""},
      {"short gap: 100 ms apart", {{0ms, "FL_READ_"}, {100ms, "VERSION$"}}, true, ""},
      {"unknown command", {{0ms, "FL_SOMETHING$"}}, false, ""},
      {"overlong junk, then the request", {{0ms, junk + "$"}, {10ms, "FL_READ_VERSION$"}}, false, version},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TTracker tracker({.PoweredUpWithPcConnection = c.PoweredUpWithPcConnection});
    TTime at{};
    for (const TPiece &piece : c.Pieces)
      at = Feed(tracker, piece.Text, at + piece.PauseBefore);
    EXPECT_EQ(Text(tracker.AdvanceTo(at + 1s)), c.Reply);
  }
}

TEST(TrackerIntake, BufferAndLineLimits) {
  TTracker tracker;
  const TTime end = Feed(tracker, std::string(600, 'j') + "$", TTime{});
  tracker.AdvanceTo(end + 1s);
  ASSERT_EQ(tracker.LinesTaken().size(), 1u);
  EXPECT_EQ(tracker.LinesTaken()[0], std::string(TTracker::MaxLineLength, 'j'))
      << "the $ found the 512-byte buffer full and the line is cut at 400 bytes";
}

TEST(TrackerVersion, TenBytesAtOnce) {
  TTracker tracker({.Version = "ABCD-9.9z"});
  const TTime end = Feed(tracker, "FL_READ_VERSION$", TTime{});
  const auto reply = tracker.AdvanceTo(end + 100ms);
  ASSERT_EQ(reply.size(), 10u);
  EXPECT_EQ(Text(reply), "ABCD-9.9z\n");
  // Taken by the main loop within a millisecond, then sent at the line's rate.
  EXPECT_EQ(reply.front().Time, end + 1ms + Character);
  EXPECT_EQ(reply.back().Time, end + 1ms + 10 * Character);
}

TEST(TrackerErase, ArgumentParsing) {
  struct TCase {
    const char *Text;
    std::int32_t Value;
  };
  const TCase cases[] = {
      {"8192$", 8192},
      {" +8192$", 8192},
      {"\t\n\v\f\r 12$", 12},
      {"-6$", -6},
      {"$", 0},
      {"x12$", 0},
      {"4294967295$", -1},
      {"4294967296$", -1},
      {"-99999999999$", -1},
      {"2147483647$", INT32_MAX},
      {"-2147483647$", -INT32_MAX},
      {"007abc", 7},
  };
  for (const TCase &c : cases)
    EXPECT_EQ(TTracker::ParseEraseArgument(c.Text), c.Value) << c.Text;
}

// Runs one erase line to its end and checks, page by page, what it cleared.
TEST(TrackerErase, PagesErasedAndProgressBytesPerArgument) {
  struct TCase {
    const char *Line;
    long FirstKeptPage; // pages below this are erased, apart from page 4095
    int ProgressBytes;
  };
  const TCase cases[] = {
      {"FL_ERASE_NUM,8192$", 4095, 32},   {"FL_ERASE_NUM,4089$", 4095, 32},
      {"FL_ERASE_NUM,4088$", 4088, 32},   {"FL_ERASE_NUM, 8192$", 4095, 32},
      {"FL_ERASE_NUM,+8192$", 4095, 32},  {"FL_ERASE_NUM,512$", 512, 4},
      {"FL_ERASE_NUM,8$", 8, 1},          {"FL_ERASE_NUM,-6$", 8, 1},
      {"FL_ERASE_NUM,-7$", 0, 0},         {"FL_ERASE_NUM,0$", 8, 1},
      {"FL_ERASE_NUM,4294967296$", 8, 1}, {"FL_ERASE_NUM,-2147483647$", 0, 0},
      {"FL_ERASE_NUMBER,9,8192$", 16, 1}, {"FL_ERASE_NUM$", 0, 0},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Line);
    TTracker tracker;
    const TTime end = Feed(tracker, c.Line, TTime{});
    const auto sent = tracker.AdvanceTo(end + 60s);
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(c.ProgressBytes));
    for (std::size_t k = 0; k < expected.size(); ++k)
      expected[k] = static_cast<std::uint8_t>(k);
    std::vector<std::uint8_t> values;
    values.reserve(sent.size());
    for (const TTimedByte &byte : sent)
      values.push_back(byte.Value);
    EXPECT_EQ(values, expected);
    for (std::size_t page = 0; page < TTracker::PageCount; ++page) {
      const bool erased = static_cast<long>(page) < c.FirstKeptPage && page != TTracker::SettingsPage;
      const auto content = tracker.Page(page);
      const std::uint8_t expectedByte = erased ? TTracker::ErasedByte : TTracker::RecordPattern;
      ASSERT_TRUE(std::all_of(content.begin(), content.end(), [&](std::uint8_t b) { return b == expectedByte; }))
          << "page " << page;
    }
    if (std::string_view(c.Line).find(',') != std::string_view::npos) {
      EXPECT_EQ(tracker.Ring(), (TTracker::TRingPosition{0, 0, 0, 0, 0, 0})) << "the ring is emptied for every n";
    }
  }
}

TEST(TrackerErase, PaceLedsAndTheLastBlocks) {
  struct TCase {
    TDuration Block;
    TDuration Page;
  };
  for (const TCase c : {TCase{45ms, 15ms}, TCase{100ms, 30ms}}) {
    SCOPED_TRACE(c.Block.count());
    TTracker tracker({.BlockErase = c.Block, .PageErase = c.Page});
    const TTime end = Feed(tracker, "FL_ERASE_NUM,8192$", TTime{});
    const TTime start = end + 1ms;
    const auto sent = tracker.AdvanceTo(start + 16 * 31 * c.Block + Character);
    ASSERT_EQ(sent.size(), 32u);
    for (std::size_t k = 0; k < sent.size(); ++k)
      EXPECT_EQ(sent[k].Time, start + static_cast<long>(16 * k) * c.Block + Character) << k;
    // Byte 31 comes as block 496 starts; blocks 496..510 and seven pages remain.
    EXPECT_TRUE(tracker.RedLed());
    EXPECT_EQ(tracker.Page(495)[0], TTracker::ErasedByte);
    EXPECT_EQ(tracker.Page(std::size_t{496} * 8)[0], TTracker::RecordPattern);
    const TTime finished = start + 511 * c.Block + 7 * c.Page;
    tracker.AdvanceTo(finished - 1ns);
    EXPECT_TRUE(tracker.RedLed());
    EXPECT_EQ(tracker.Page(4094)[0], TTracker::RecordPattern);
    EXPECT_TRUE(tracker.AdvanceTo(finished).empty()) << "no completion byte";
    EXPECT_FALSE(tracker.RedLed());
    EXPECT_TRUE(tracker.SecondIndicator());
    EXPECT_EQ(tracker.Page(4094)[0], TTracker::ErasedByte);
    tracker.AdvanceTo(finished + 50ms);
    EXPECT_FALSE(tracker.SecondIndicator());
    EXPECT_TRUE(tracker.AdvanceTo(finished + 60s).empty());
  }
}

TEST(TrackerErase, OneCommandAtATime) {
  // A request written right behind the erase loses its start to the erase
  // line; its tail is taken after the erase and matches nothing.
  TTracker behind;
  TTime end = Feed(behind, "FL_ERASE_NUM,8192$FL_READ_VERSION$", TTime{});
  EXPECT_EQ(behind.AdvanceTo(end + 60s).size(), 32u);

  // A request sent in one burst during the erase waits and is answered after it.
  TTracker waiting;
  end = Feed(waiting, "FL_ERASE_NUM,8192$", TTime{});
  const TTime request = Feed(waiting, "FL_READ_VERSION$", end + 5s);
  const auto sent = waiting.AdvanceTo(request + 60s);
  ASSERT_EQ(sent.size(), 42u);
  const TTime erased = end + 1ms + 511 * 45ms + 7 * 15ms;
  EXPECT_EQ(sent[32].Value, 'Q');
  EXPECT_EQ(sent[32].Time, erased + 50ms + Character);
}

TEST(TrackerModes, AnswersOnlyInCommandMode) {
  struct TCase {
    const char *Name;
    bool PcConnection;
    bool ExternalPower;
    bool PassThrough;
    TTime PoweredOnAt;
    bool Answers;
  };
  const TCase cases[] = {
      {"command mode", true, false, false, -1s, true},
      {"PC connection inactive", false, false, false, -1s, false},
      {"external power: tracking mode", true, true, false, -1s, false},
      {"pass-through", true, false, true, -1s, false},
      {"still starting up", true, false, false, TTime{} - 500ms, false},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TTracker tracker({.PoweredOnAt = c.PoweredOnAt});
    if (c.PassThrough)
      tracker.EnterPassThrough();
    tracker.SetPcConnection(c.PcConnection);
    tracker.SetExternalPower(c.ExternalPower);
    const TTime end = Feed(tracker, "FL_READ_VERSION$", TTime{});
    const auto sent = tracker.AdvanceTo(end + 100ms);
    EXPECT_EQ(Text(sent).find("QUIN") != std::string::npos, c.Answers);
  }
}

TEST(TrackerModes, StartUpAndPassThroughOverTime) {
  TTracker tracker({.PoweredOnAt = TTime{}});
  TTime end = Feed(tracker, "FL_READ_VERSION$", 990ms);
  EXPECT_TRUE(tracker.AdvanceTo(end + 100ms).empty()) << "a line that began during start-up is lost";
  end = Feed(tracker, "FL_READ_VERSION$", 1200ms);
  EXPECT_EQ(Text(tracker.AdvanceTo(end + 100ms)), "QUIN-2.4g\n");

  tracker.EnterPassThrough();
  end = Feed(tracker, "FL_READ_VERSION$", end + 200ms);
  const auto noise = tracker.AdvanceTo(end + 3s);
  EXPECT_FALSE(noise.empty()) << "GPS lines at another rate";
  EXPECT_EQ(Text(noise).find("QUIN"), std::string::npos);
  EXPECT_TRUE(tracker.NextEvent().has_value()) << "and they keep coming";
  tracker.SetPcConnection(false);
  tracker.SetPcConnection(true);
  end = Feed(tracker, "FL_READ_VERSION$", end + 4s);
  EXPECT_NE(Text(tracker.AdvanceTo(end + 100ms)).find("QUIN-2.4g\n"), std::string::npos)
      << "leaving the PC connection ends pass-through";
}

} // namespace
} // namespace korvessan::sim
