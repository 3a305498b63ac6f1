#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <thread>

#include "framework/Application.h"
#include "framework/Controls.h"
#include "framework/Peer.h"

namespace rpt {
namespace {

// A hook that records every message it sees and consumes left presses.
class TRecordingHook : public IDesignerHook {
 public:
  std::vector<std::pair<TControl*, uint32_t>> Seen;
  int Painted = 0;
  void NotifyModified() override {}
  void NotifyComponent(TPersistent*, TComponentOperation) override {}
  TCustomForm* HostForm() override { return nullptr; }
  void SetHostForm(TCustomForm*) override {}
  bool GetIsControl() override { return false; }
  void SetIsControl(bool) override {}
  bool FilterDesignMessage(TControl* control, TMessage& m) override {
    Seen.emplace_back(control, m.Msg);
    return m.Msg == WM_LBUTTONDOWN;
  }
  void PaintDesignGrid() override { ++Painted; }
  void CheckRename(TComponent*, const std::string&, const std::string&) override {}
  std::string MakeUniqueName(const std::string& base) override { return base + "1"; }
  TComponent* RootComponent() override { return nullptr; }
};

class TRecordingPanel : public TPanel {
  RPT_CLASS(TRecordingPanel, TPanel)
  std::vector<uint32_t> Received;
  void WndProc(TMessage& m) override {
    Received.push_back(m.Msg);
    TPanel::WndProc(m);
  }
};

}  // namespace

RPT_BEGIN_CLASS(TRecordingPanel, TPanel)
RPT_END_CLASS

namespace {

struct Forms : ::testing::Test {
  TOwnedPtr<TForm> form{TComponent::Create<TForm>(nullptr)};
  void SetUp() override { form->SetBounds(0, 0, 300, 200); }
};

TEST_F(Forms, ControlGetsAPeerInAShownFormAndLosesItWhenTakenOut) {
  auto* panel = TComponent::Create<TPanel>(form.get());
  panel->SetBounds(10, 20, 100, 50);
  panel->SetParent(form.get());
  EXPECT_EQ(panel->Peer(), nullptr);  // the form is not shown: headless
  form->Show();
  QWidget* formPeer = PeerWidget(form.get());
  ASSERT_NE(formPeer, nullptr);
  QWidget* peer = PeerWidget(panel);
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(peer->parentWidget(), formPeer);
  EXPECT_EQ(peer->geometry(), QRect(10, 20, 100, 50));

  // Bounds, visibility and enabled state follow the model.
  panel->SetBounds(5, 6, 70, 30);
  EXPECT_EQ(peer->geometry(), QRect(5, 6, 70, 30));
  panel->SetEnabled(false);
  EXPECT_FALSE(peer->isEnabled());
  panel->SetVisible(false);
  EXPECT_TRUE(peer->isHidden());

  // A child added later to the shown form gets a peer at once, stacked on top.
  auto* inner = TComponent::Create<TPanel>(form.get());
  inner->SetParent(panel);
  ASSERT_NE(PeerWidget(inner), nullptr);
  EXPECT_EQ(PeerWidget(inner)->parentWidget(), peer);

  panel->SetParent(nullptr);
  EXPECT_EQ(panel->Peer(), nullptr);
  EXPECT_EQ(inner->Peer(), nullptr);  // the subtree goes with it
  EXPECT_TRUE(formPeer->findChildren<TControlPeer*>().isEmpty());
  panel->Free();
}

TEST_F(Forms, ZOrderMapsOntoPeers) {
  auto* a = TComponent::Create<TPanel>(form.get());
  auto* b = TComponent::Create<TPanel>(form.get());
  a->SetParent(form.get());
  b->SetParent(form.get());
  form->Show();
  auto stack = [&] {
    std::vector<QWidget*> order;
    for (QObject* o : PeerWidget(form.get())->children())
      if (auto* w = qobject_cast<QWidget*>(o)) order.push_back(w);
    return order;
  };
  EXPECT_EQ(stack(), (std::vector<QWidget*>{PeerWidget(a), PeerWidget(b)}));
  BringToFront(a);
  EXPECT_EQ(form->ControlIndex(a), 1);
  EXPECT_EQ(stack(), (std::vector<QWidget*>{PeerWidget(b), PeerWidget(a)}));
  SendToBack(a);
  EXPECT_EQ(stack(), (std::vector<QWidget*>{PeerWidget(a), PeerWidget(b)}));
}

TEST_F(Forms, DesignHookSeesMessagesOfDesignedControlsFirstAndConsumesPresses) {
  TRecordingHook hook;
  form->SetDesigner(&hook);
  auto* designed = TComponent::Create<TRecordingPanel>(form.get());
  designed->SetBounds(0, 0, 100, 100);
  designed->SetParent(form.get());
  auto* plain = TComponent::Create<TRecordingPanel>(form.get());
  plain->SetBounds(150, 0, 100, 100);
  plain->SetParent(form.get());
  designed->SetState(sfDesigning);
  form->Show();

  QTest::mousePress(PeerWidget(designed), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 7));
  QTest::mouseRelease(PeerWidget(designed), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 7));
  ASSERT_GE(hook.Seen.size(), 2u);
  EXPECT_EQ(hook.Seen[hook.Seen.size() - 2], std::make_pair(static_cast<TControl*>(designed), uint32_t(WM_LBUTTONDOWN)));
  EXPECT_EQ(hook.Seen.back().second, uint32_t(WM_LBUTTONUP));
  // The press was consumed; the release reached the control.
  EXPECT_EQ(std::count(designed->Received.begin(), designed->Received.end(), WM_LBUTTONDOWN), 0);
  EXPECT_EQ(std::count(designed->Received.begin(), designed->Received.end(), WM_LBUTTONUP), 1);

  // A control not under design is not shown to the hook.
  const size_t seen = hook.Seen.size();
  QTest::mouseClick(PeerWidget(plain), Qt::LeftButton);
  EXPECT_EQ(hook.Seen.size(), seen);
  EXPECT_EQ(std::count(plain->Received.begin(), plain->Received.end(), WM_LBUTTONDOWN), 1);

  // Keys: key down and the character.
  PeerWidget(designed)->setFocus();
  QTest::keyClick(PeerWidget(designed), Qt::Key_A);
  EXPECT_NE(std::find(designed->Received.begin(), designed->Received.end(), WM_KEYDOWN), designed->Received.end());
  EXPECT_NE(std::find(designed->Received.begin(), designed->Received.end(), WM_CHAR), designed->Received.end());
  form->SetDesigner(nullptr);
}

TEST_F(Forms, MouseMessagesCarryButtonKeysAndPosition) {
  auto* panel = TComponent::Create<TPanel>(form.get());
  panel->SetBounds(20, 30, 100, 100);
  panel->SetParent(form.get());
  form->Show();
  TMouseButton button = mbLeft;
  TShiftState shift;
  TPoint at;
  panel->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int32_t x, int32_t y) {
    button = b, shift = s, at = {x, y};
  };
  int clicks = 0;
  panel->OnClick = [&](TObject*) { ++clicks; };
  QTest::mousePress(PeerWidget(panel), Qt::RightButton, Qt::ControlModifier, QPoint(11, 12));
  EXPECT_EQ(button, mbRight);
  EXPECT_TRUE(shift.Contains(ssCtrl));
  EXPECT_TRUE(shift.Contains(ssRight));
  EXPECT_EQ(at, (TPoint{11, 12}));
  QTest::mouseRelease(PeerWidget(panel), Qt::RightButton, Qt::ControlModifier, QPoint(11, 12));
  EXPECT_EQ(clicks, 0);  // only the left button clicks
  QTest::mouseClick(PeerWidget(panel), Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ClientToScreen(panel, {1, 2}).X - ClientToScreen(form.get(), {0, 0}).X, 21);
}

TEST_F(Forms, PaintGoesThroughTheCanvasAndTheDesignGrid) {
  TRecordingHook hook;
  form->SetDesigner(&hook);
  form->SetColor(clWhite);
  form->Show();
  const QImage shot = PeerWidget(form.get())->grab().toImage();
  EXPECT_GT(hook.Painted, 0);
  EXPECT_EQ(shot.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
  form->SetDesigner(nullptr);
}

// A control that is not opaque paints nothing of its own background: what lies under it
// is its parent's painting, also after it moves (no stale pixels where it was).
TEST_F(Forms, TransparentControlsShowTheirParentThrough) {
  form->SetColor(clRed);
  auto* glass = TComponent::Create<TPanel>(form.get());
  glass->SetBounds(10, 10, 60, 60);
  glass->SetOpaque(false);
  glass->SetParent(form.get());
  auto* solid = TComponent::Create<TPanel>(form.get());
  solid->SetBounds(100, 10, 60, 60);
  solid->SetColor(clBlue);
  solid->SetParent(form.get());
  form->Show();
  QImage shot = PeerWidget(form.get())->grab().toImage();
  EXPECT_EQ(shot.pixel(40, 40) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(shot.pixel(130, 40) & 0xFFFFFF, 0x0000FFu);
  solid->SetOpaque(false);
  glass->SetOpaque(true);
  glass->SetColor(clLime);
  QApplication::processEvents();
  shot = PeerWidget(form.get())->grab().toImage();
  EXPECT_EQ(shot.pixel(40, 40) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(shot.pixel(130, 40) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(Forms, HostedFormFollowsItsParentWindowsPeer) {
  auto* host = TComponent::Create<TPanel>(form.get());
  host->SetBounds(0, 0, 200, 150);
  host->SetParent(form.get());
  TOwnedPtr<TForm> inner(TComponent::Create<TForm>(nullptr));
  inner->SetBounds(0, 0, 200, 150);
  inner->SetVisible(true);
  inner->SetParentWindow(host);
  EXPECT_EQ(inner->Peer(), nullptr);
  form->Show();
  ASSERT_NE(inner->Peer(), nullptr);
  EXPECT_EQ(PeerWidget(inner.get())->parentWidget(), PeerWidget(host));
  // Messages of a control in the inner form go to the inner form's hook.
  auto* child = TComponent::Create<TPanel>(inner.get());
  child->SetParent(inner.get());
  EXPECT_EQ(GetParentForm(child), inner.get());
  host->SetParent(nullptr);
  EXPECT_EQ(inner->Peer(), nullptr);
  EXPECT_EQ(child->Peer(), nullptr);
  inner->SetParentWindow(nullptr);
  host->Free();
}

TEST_F(Forms, PostedMessagesArriveLaterAndNeverReachAFreedControl) {
  static const uint32_t kPing = RegisterWindowMessage("test.Ping");
  EXPECT_EQ(RegisterWindowMessage("test.Ping"), kPing);
  EXPECT_GE(kPing, uint32_t(kFirstRegisteredMessage));
  EXPECT_NE(RegisterWindowMessage("test.Pong"), kPing);

  auto* a = TComponent::Create<TRecordingPanel>(form.get());
  auto* b = TComponent::Create<TRecordingPanel>(form.get());
  std::thread worker([&] { PostMessage(a, kPing, 7); });
  worker.join();
  PostMessage(b, kPing);
  EXPECT_TRUE(a->Received.empty());
  b->Free();  // gone before delivery
  QCoreApplication::processEvents();
  EXPECT_EQ(std::count(a->Received.begin(), a->Received.end(), kPing), 1);
}

TEST_F(Forms, CloseActionsAndRelease) {
  form->Show();
  TCloseAction answer = caNone;
  form->OnClose = [&](TObject*, TCloseAction& action) {
    EXPECT_EQ(action, caHide);
    action = answer;
  };
  EXPECT_FALSE(form->Close());
  EXPECT_TRUE(form->Showing());
  answer = caHide;
  EXPECT_TRUE(form->Close());
  EXPECT_FALSE(form->Showing());

  auto* released = TComponent::Create<TForm>(nullptr);
  bool destroyed = false;
  released->OnDestroy = [&](TObject*) { destroyed = true; };
  released->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  released->Show();
  EXPECT_TRUE(released->Close());
  EXPECT_FALSE(destroyed);  // not while its own message runs
  QCoreApplication::processEvents();
  EXPECT_TRUE(destroyed);
}

TEST(Application, ExceptionsReachTheOneHandlerAndTheProgramGoesOn) {
  auto* app = TApplication::Instance();
  ASSERT_NE(app, nullptr);
  std::vector<std::string> shown;
  app->SetErrorHook([&](const std::string& m) { shown.push_back(m); });
  TOwnedPtr<TForm> form(TComponent::Create<TForm>(nullptr));
  auto* panel = TComponent::Create<TPanel>(form.get());
  panel->SetParent(form.get());
  panel->SetBounds(0, 0, 50, 50);
  panel->OnMouseDown = [](TObject*, TMouseButton, TShiftState, int32_t, int32_t) {
    throw EComponentError("Cannot do that");
  };
  form->Show();
  QTest::mouseClick(PeerWidget(panel), Qt::LeftButton);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Cannot do that");
  // Still alive: the next press is delivered again.
  QTest::mouseClick(PeerWidget(panel), Qt::LeftButton);
  EXPECT_EQ(shown.size(), 2u);
  app->SetErrorHook(nullptr);
}

TEST(Application, IdleHandlersRunWhenTheLoopWaits) {
  auto* app = TApplication::Instance();
  int runs = 0;
  const int id = app->AddIdleHandler([&] { ++runs; });
  QTimer::singleShot(20, app, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  EXPECT_GE(runs, 1);
  // Idle without new events does nothing.
  app->DoIdle();
  const int before = runs;
  app->DoIdle();
  EXPECT_EQ(runs, before);
  app->RemoveIdleHandler(id);
}

TEST(Headless, ControlsWorkWithoutPeersOnAWorkerThread) {
  std::thread worker([] {
    TOwnedPtr<TPanel> root(TComponent::Create<TPanel>(nullptr));
    auto* child = TComponent::Create<TPanel>(root.get());
    child->SetParent(root.get());
    child->SetAlign(alClient);
    root->SetBounds(0, 0, 300, 100);
    root->Realign();
    EXPECT_EQ(child->Width(), 300);
    EXPECT_EQ(child->Height(), 100);
    EXPECT_EQ(child->Peer(), nullptr);
    child->Invalidate();
    BringToFront(child);
  });
  worker.join();
}

TEST(ExecDialog, CentresADialogByTheSizeItsLayoutGivesIt) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QPoint centre = screen->availableGeometry().center();
  QDialog laidOut;
  auto* layout = new QVBoxLayout(&laidOut);
  auto* content = new QWidget(&laidOut);
  content->setMinimumSize(420, 260);
  layout->addWidget(content);
  QRect shown;
  QTimer::singleShot(0, &laidOut, [&] {
    shown = laidOut.geometry();
    laidOut.reject();
  });
  ExecDialog(laidOut);
  EXPECT_GE(shown.width(), 420);
  EXPECT_LE(std::abs(shown.center().x() - centre.x()), 2) << "centred across";
  EXPECT_LE(std::abs(shown.center().y() - centre.y()), 2) << "centred down";

  // A size given by hand is kept.
  QDialog sized;
  sized.resize(300, 200);
  QTimer::singleShot(0, &sized, [&] {
    shown = sized.geometry();
    sized.reject();
  });
  ExecDialog(sized);
  EXPECT_EQ(shown.size(), QSize(300, 200));
  EXPECT_LE(std::abs(shown.center().x() - centre.x()), 2);
}

TEST(FileDialogFilters, ListEveryExtensionInBothCases) {
  EXPECT_EQ(AnyCaseFilters("Recorded report (*.QRP);;PDF (*.pdf);;All files (*)"),
            "Recorded report (*.QRP *.qrp);;PDF (*.pdf *.PDF);;All files (*)");
  EXPECT_EQ(AnyCaseFilters("Pictures (*.png *.Jpg)"), "Pictures (*.png *.PNG *.Jpg *.jpg *.JPG)");
}

}  // namespace
}  // namespace rpt
