// The checklist read before an activation, between the tile and the
// activation window.
#include <QPushButton>
#include <QTest>

#include "widgets/tile.h"
#include "window_test_support.h"

namespace kovrad::manager::test {

class ChecklistWindowTest : public SetupFixture {
  Q_OBJECT

 private slots:
  void theChecklistLeadsToTheActivationWindow() {
    TOKRightDlg& checklist = *forms().activation_checklist;
    Tile* tile = w_->grid.tile(TGridForm::TileId::kAtivarSat);
    QTest::mouseClick(tile->picture(), Qt::LeftButton);
    QVERIFY(checklist.isVisible());
    QTest::mouseClick(checklist.CancelBtn, Qt::LeftButton);
    QVERIFY(checklist.isHidden());
    QVERIFY(forms().activation->isHidden());
    QTest::mouseClick(tile->picture(), Qt::LeftButton);
    QTest::mouseClick(checklist.OKBtn, Qt::LeftButton);
    QVERIFY(checklist.isHidden());
    QVERIFY(forms().activation->isVisible());
    forms().activation->hide();
    QTest::mouseClick(tile->caption(), Qt::LeftButton);
    QVERIFY(forms().activation->isVisible());
  }
};

namespace {
const RegisterWindowTest<ChecklistWindowTest> kRegistered;
}  // namespace

}  // namespace kovrad::manager::test

#include "checklist_test.moc"
