// A sheet streamed with its parser on a second thread gives the sink the
// same extent, rows, texts and outcome as one streamed on the caller's
// thread: across batch ends, with stops at every kind of place, damage,
// disorder and a sink that runs out of memory.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "reader/core/book.h"
#include "reader/core/row_relay.h"

namespace {

struct Seen {
  std::vector<std::string> events;  // "extent R C" or "row R: cells"
  size_t stopAt = SIZE_MAX;         // say stop at this event (0 = the extent)
  size_t throwAt = SIZE_MAX;        // run out of memory at this event
};

class RecordingSink : public reader::RowSink {
 public:
  explicit RecordingSink(Seen& seen) : seen_(seen) {}
  bool StatedExtent(uint32_t rows, uint32_t cols) override {
    return Note("extent " + std::to_string(rows) + " " + std::to_string(cols));
  }
  bool Row(uint32_t row, const reader::StoredCell* cells, size_t count,
           const reader::StringPool& sheetStrings) override {
    std::string e = "row " + std::to_string(row) + ":";
    for (size_t i = 0; i < count; ++i) {
      e += " " + std::to_string(cells[i].col) + "=";
      if (cells[i].kind == reader::CellKind::String && cells[i].pool == reader::StringPoolId::Sheet)
        e += std::string(sheetStrings.Get(static_cast<uint32_t>(cells[i].value)));
      else
        e += std::to_string(cells[i].value);
    }
    return Note(e);
  }

 private:
  bool Note(std::string e) {
    if (seen_.events.size() == seen_.throwAt) throw std::bad_alloc();
    seen_.events.push_back(std::move(e));
    return seen_.events.size() - 1 != seen_.stopAt;
  }
  Seen& seen_;
};

enum class Ending { Whole, Damaged, Disordered };

// A sheet of `rows` rows of five cells (every seventh row with a string of
// its own), its extent stated first.
reader::SheetLoader SheetOf(uint32_t rows, Ending ending) {
  return [rows, ending](reader::SheetBuilder& cells, reader::StringPool& strings) -> reader::Status {
    cells.StateExtent(rows, 5);
    for (uint32_t r = 0; r < rows && !cells.stopped(); ++r) {
      if (ending == Ending::Disordered && r == rows / 2) cells.AddNumber(r - 1, 4, 0, 1);
      for (uint32_t c = 0; c < 5; ++c) {
        if (c == 2 && r % 7 == 0)
          cells.AddSheetString(r, c, 0, strings.Add("text of row " + std::to_string(r)));
        else
          cells.AddNumber(r, c, 0, r * 10.0 + c);
      }
    }
    return ending == Ending::Damaged ? reader::Status::Error("damaged at the end") : reader::Status::Ok();
  };
}

XlSheet::StreamResult Stream(const reader::SheetLoader& loader, bool aside, Seen& seen) {
  XlBook book;
  book.formats.assign(1, XlFormat{});
  reader::BookBuilder builder(book);
  XlSheet& sheet = builder.AddSheet("S", reader::SheetKind::Worksheet, reader::Visibility::Visible, loader);
  sheet.parseAside = aside;
  RecordingSink sink(seen);
  return sheet.StreamRows(sink);
}

TEST(RowRelay, EverySheetAndEveryStopGoesAsOnOneThread) {
  // 2,000 rows of five cells fill batches of 4,096 cells twice and more:
  // stops fall before, on and after a batch's end, on the first and the
  // last row, and at the extent.
  for (uint32_t rows : {0u, 1u, 819u, 820u, 2000u}) {
    for (Ending ending : {Ending::Whole, Ending::Damaged, Ending::Disordered}) {
      if (ending == Ending::Disordered && rows < 2) continue;
      for (size_t stopAt : {SIZE_MAX, size_t(0), size_t(1), size_t(819), size_t(820), size_t(821), size_t(2000)}) {
        SCOPED_TRACE(testing::Message() << rows << " rows, ending " << static_cast<int>(ending) << ", stop at "
                                        << stopAt);
        Seen here, aside;
        here.stopAt = aside.stopAt = stopAt;
        const reader::SheetLoader loader = SheetOf(rows, ending);
        XlSheet::StreamResult want = Stream(loader, false, here);
        XlSheet::StreamResult got = Stream(loader, true, aside);
        EXPECT_EQ(got, want);
        ASSERT_EQ(aside.events, here.events);
      }
    }
  }
  // The rows themselves, once: strings of the sheet's own pool keep their
  // texts across batches.
  Seen seen;
  ASSERT_EQ(Stream(SheetOf(2000, Ending::Whole), true, seen), XlSheet::StreamResult::Done);
  ASSERT_EQ(seen.events.size(), 2001u);
  EXPECT_EQ(seen.events[0], "extent 2000 5");
  EXPECT_EQ(seen.events[1996].rfind("row 1995: ", 0), 0u) << seen.events[1996];
  EXPECT_NE(seen.events[1996].find("2=text of row 1995"), std::string::npos) << seen.events[1996];
}

// A sink that runs out of memory ends the reading as damage, with the
// parser's thread ended, wherever it happens.
TEST(RowRelay, ASinkOutOfMemoryIsDamage) {
  for (size_t throwAt : {size_t(0), size_t(1), size_t(900), size_t(2000)}) {
    Seen here, aside;
    here.throwAt = aside.throwAt = throwAt;
    const reader::SheetLoader loader = SheetOf(2000, Ending::Whole);
    EXPECT_EQ(Stream(loader, false, here), XlSheet::StreamResult::Damaged) << throwAt;
    EXPECT_EQ(Stream(loader, true, aside), XlSheet::StreamResult::Damaged) << throwAt;
    EXPECT_EQ(aside.events, here.events) << throwAt;
  }
}

}  // namespace
