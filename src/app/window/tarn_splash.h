#pragma once
// The splash window of start-up, which is also the About window: the product name with the DM
// version, the build line, the maker's line, a notice and a status line. A typed character or a
// mouse button released over the window dismisses it.
#include <QDialog>
#include <functional>

class QFrame;
class QLabel;

namespace sw {

class TarnSplash : public QDialog {
  Q_OBJECT

 public:
  explicit TarnSplash(QWidget* parent = nullptr);

  // The designed texts of the labels that are filled at each showing.
  static const QString DesignedProductName;
  static const QString DesignedVersion;

  // Fills the labels: the designed product name followed by the DM version text, the build line
  // and the maker's line.
  void Fill(const QString& dmVersionText, const QString& buildLine, const QString& makerLine);

  QLabel* TarnLogo = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* TarnVersion = nullptr;
  QLabel* MakerLine = nullptr;
  QLabel* LabelNotice = nullptr;
  QLabel* LabelStatus = nullptr;
  QFrame* TarnSplashFrame = nullptr;

  // What a dismissal does beyond hiding the window (enabling and focusing the main window);
  // called once per dismissal.
  std::function<void()> onDismissed;

 protected:
  // Form_KeyPress: any key that types a character dismisses the window.
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Dismiss();
};

}  // namespace sw
