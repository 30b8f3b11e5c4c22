#include "resources/Texts.h"
#include "tests/Fixtures.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace korvessan {
namespace {

struct TMainFormTest : ::testing::Test, TFormFixture {
  template <typename T> T *Control(const char *name) {
    auto *control = Form.findChild<T *>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
};

TEST_F(TMainFormTest, LayoutAsTheUserSeesIt) {
  Form.show();
  EXPECT_EQ(Form.windowTitle(), QString::fromUtf8(Texts::AppTitle));
  EXPECT_EQ(Form.size(), QSize(321, 358));
  EXPECT_EQ(Form.minimumSize(), Form.maximumSize()) << "the window cannot be resized";
  EXPECT_FALSE(Form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Form.windowFlags() & Qt::WindowMinimizeButtonHint);

  struct TCase {
    const char *Name;
    QRect Geometry;
  };
  const TCase controls[] = {
      {"PageControl1", {0, 0, 321, 357}}, {"GroupBox1", {0, 3, 313, 322}}, {"VerLabel", {16, 20, 91, 24}},
      {"DebugMemo", {12, 52, 293, 213}},  {"Button1", {12, 272, 293, 41}}, {"SerPanel", {204, 8, 97, 41}},
  };
  for (const TCase &c : controls) {
    SCOPED_TRACE(c.Name);
    const auto *control = Control<QWidget>(c.Name);
    EXPECT_EQ(control->geometry(), c.Geometry);
  }

  auto *pages = Control<QTabWidget>("PageControl1");
  EXPECT_EQ(pages->count(), 1);
  EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet1");
  EXPECT_EQ(pages->tabText(0), "Стирание данных с прибора");
  EXPECT_EQ(Control<QGroupBox>("GroupBox1")->title(), "Текущий статус");
  EXPECT_EQ(Control<QPushButton>("Button1")->text(), "Стереть все записи");
  EXPECT_EQ(Control<QLabel>("SerPanel")->text(), "10000");
  EXPECT_EQ(Control<QLabel>("VerLabel")->text(), "MARL-0.0g");
  auto *memo = Control<QPlainTextEdit>("DebugMemo");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(TMainFormTest, FontsAndColours) {
  Form.show();
  struct TCase {
    const char *Name;
    int PixelSize;
    bool Bold;
  };
  for (const TCase c : {TCase{"DebugMemo", 11, false}, TCase{"GroupBox1", 11, false}, TCase{"VerLabel", 19, false},
                        TCase{"Button1", 24, false}, TCase{"SerPanel", 24, true}}) {
    SCOPED_TRACE(c.Name);
    const QFont font = Control<QWidget>(c.Name)->font();
    EXPECT_EQ(font.pixelSize(), c.PixelSize);
    EXPECT_EQ(font.bold(), c.Bold);
    EXPECT_EQ(font.family(), "PT Sans");
  }
  const auto *panel = Control<QLabel>("SerPanel");
  EXPECT_EQ(panel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(TMainFormTest, LogAppendsFormattedLinesInOrderWhateverTheLevel) {
  for (int i = 0; i < 10; ++i)
    Form.LogMessage(1 + i % 2, Texts::SectorErased, i);
  Form.LogMessage(1, Texts::SerialNumber, 123);
  const std::string longText(5000, 'x');
  Form.LogMessage(2, "%s|%d", longText.c_str(), -7);

  const QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 12);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(lines[i], QString("Сектор %1 стерт").arg(i));
  EXPECT_EQ(lines[10], "Серийный номер 123");
  EXPECT_EQ(lines[11], QString::fromStdString(longText + "|-7")) << "no truncation";
}

// Handlers hold the event loop, so a line must be on screen before
// LogMessage returns and the memo must follow the newest line.
TEST_F(TMainFormTest, EachLineIsPaintedAtOnceAndKeptInView) {
  struct TPaintCounter : QObject {
    int Paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
      Paints += event->type() == QEvent::Paint;
      return false;
    }
  } counter;
  Form.show();
  QApplication::processEvents();
  auto *memo = Control<QPlainTextEdit>("DebugMemo");
  memo->viewport()->installEventFilter(&counter);
  for (int i = 0; i < 40; ++i) {
    const int before = counter.Paints;
    Form.LogMessage(2, Texts::SectorErased, i);
    EXPECT_GT(counter.Paints, before) << "line " << i << " was not painted synchronously";
  }
  const QScrollBar *scrollBar = memo->verticalScrollBar();
  EXPECT_GT(scrollBar->maximum(), 0);
  EXPECT_EQ(scrollBar->value(), scrollBar->maximum());
}

} // namespace
} // namespace korvessan
