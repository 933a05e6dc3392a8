#include "ui/Unit2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <climits>

namespace {
constexpr int kPumpIntervalMs = 10;
}

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label_(new QLabel(QStringLiteral("Process"), this)), bar_(new QProgressBar(this)),
      stop_(new QPushButton(QStringLiteral("Stop process"), this)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral(" Processing"));
    setAccessibleName(windowTitle());
    setFixedSize(359, 92);
    setModal(false);

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));
    picture->setAccessibleName(QStringLiteral("Processing"));
    showLabelText(QStringLiteral("Process"));
    bar_->setAccessibleName(QStringLiteral("Progress"));
    bar_->setTextVisible(false);
    stop_->setAccessibleName(QStringLiteral("Stop process"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(10);
    grid->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(label_, 0, 1, 1, 2);
    grid->addWidget(bar_, 1, 1, 1, 2);
    grid->addWidget(stop_, 2, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);

    connect(stop_, &QPushButton::clicked, this, [this] { abort_ = true; });
}

void TForm2::showProgress() {
    abort_ = false;
    showLabelText(QStringLiteral("Process"));
    bar_->setRange(0, 0);
    bar_->setValue(0);
    show();
    raise();
    repaint();
    QApplication::processEvents();
    sincePump_.start();
}

void TForm2::hideProgress() {
    hide();
}

void TForm2::setLabel(const std::string& text) {
    showLabelText(QString::fromLocal8Bit(text));
    label_->repaint();
}

void TForm2::showLabelText(const QString& text) {
    label_->setText(text);
    label_->setAccessibleName(text);
}

void TForm2::setRange(long long maximum) {
    scale_ = 1;
    while (maximum / scale_ > INT_MAX)
        scale_ *= 2;
    bar_->setRange(0, static_cast<int>(maximum / scale_));
    bar_->setValue(0);
}

void TForm2::setPosition(long long position) {
    const int value = static_cast<int>(std::min<long long>(position / scale_, bar_->maximum()));
    if (value != bar_->value())
        bar_->setValue(value);
}

void TForm2::pump() {
    // Reading the clock costs about as much as reading a short line, so it is looked at only
    // on every 64th call.
    if ((++pumpCalls_ & 63) != 0)
        return;
    if (sincePump_.isValid() && sincePump_.elapsed() < kPumpIntervalMs)
        return;
    QApplication::processEvents();
    sincePump_.start();
}

void TForm2::reject() {}

void TForm2::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TForm2::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr &&
        windowHandle()->startSystemMove())
        return;
    QDialog::mousePressEvent(event);
}

void TForm2::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
