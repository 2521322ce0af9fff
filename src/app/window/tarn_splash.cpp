#include "app/window/tarn_splash.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "app/window/window_rules.h"

namespace sw {

const QString TarnSplash::DesignedProductName = QStringLiteral("Quillmark for OpenText eDOCS Folder Stackwright Utility");
const QString TarnSplash::DesignedVersion = QStringLiteral("Build Date");

namespace {

QLabel* NewLabel(QWidget* parent, const QString& text, int left, int top, int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
  label->setWordWrap(true);
  // Clicks pass through to the frame, which dismisses the window.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

void Colour(QLabel* label, const QColor& fore, const QColor& back) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, fore);
  palette.setColor(QPalette::Window, back);
  label->setPalette(palette);
  label->setAutoFillBackground(true);
}

// The maker's mark: a quill stroke over a stack of three folders.
QPixmap MakerLogo(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor folder(0, 0, 192);
  for (int i = 0; i < 3; ++i) {
    const int y = size / 2 + i * size / 8;
    painter.fillRect(size / 8 + i * 2, y, size * 5 / 8, size / 10, folder.lighter(100 + 30 * i));
  }
  painter.setPen(QPen(QColor(192, 0, 0), 3));
  painter.drawLine(size / 4, size * 3 / 8, size * 7 / 8, size / 8);
  return pixmap;
}

}  // namespace

TarnSplash::TarnSplash(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("TarnSplash"));
  setFixedSize(TwipsToPixels(6300), TwipsToPixels(3900));
  TarnSplashFrame = new QFrame(this);
  TarnSplashFrame->setObjectName(QStringLiteral("TarnSplashFrame"));
  TarnSplashFrame->setFrameShape(QFrame::Box);
  TarnSplashFrame->setGeometry(0, 0, width(), height());
  TarnSplashFrame->installEventFilter(this);

  TarnLogo = NewLabel(TarnSplashFrame, QString(), 150, 150, 1500, 1500);
  TarnLogo->setPixmap(MakerLogo(TwipsToPixels(1500)));
  ProductName = NewLabel(TarnSplashFrame, DesignedProductName, 1800, 150, 4350, 900);
  Colour(ProductName, QColor(0, 0, 192), Qt::white);
  QFont big = ProductName->font();
  big.setBold(true);
  ProductName->setFont(big);
  TarnVersion = NewLabel(TarnSplashFrame, DesignedVersion, 1800, 1125, 4350, 300);
  TarnVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  MakerLine = NewLabel(TarnSplashFrame, QString(), 1800, 1425, 4350, 300);
  MakerLine->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LabelNotice = NewLabel(TarnSplashFrame,
                         QStringLiteral("Warning: this program is protected by copyright law. Copying or distributing "
                                        "it, or any part of it, without the maker's written permission is forbidden."),
                         150, 1950, 6000, 900);
  Colour(LabelNotice, Qt::black, QColor(204, 255, 204));
  LabelStatus = NewLabel(TarnSplashFrame, QString(), 150, 3000, 6000, 600);
  LabelStatus->setAlignment(Qt::AlignCenter);
  Colour(LabelStatus, Qt::black, QColor(224, 224, 224));
}

void TarnSplash::Fill(const QString& dmVersionText, const QString& buildLine, const QString& makerLine) {
  // Each showing starts from the designed caption, so the version is appended once.
  ProductName->setText(DesignedProductName + dmVersionText);
  TarnVersion->setText(buildLine);
  MakerLine->setText(makerLine);
}

void TarnSplash::keyPressEvent(QKeyEvent* event) {
  // Keys that type nothing (arrows, function keys, Shift) leave the window up.
  if (event->text().isEmpty()) {
    event->ignore();
    return;
  }
  event->accept();
  Dismiss();
}

bool TarnSplash::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TarnSplashFrame && event->type() == QEvent::MouseButtonRelease) {
    Dismiss();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TarnSplash::Dismiss() {
  hide();
  if (isModal()) done(QDialog::Accepted);
  if (onDismissed) onDismissed();
}

}  // namespace sw
