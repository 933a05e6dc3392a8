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
      m_label(new QLabel(QStringLiteral("Process"), this)), m_bar(new QProgressBar(this)),
      m_stop(new QPushButton(QStringLiteral("Stop process"), this)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral(" Processing"));
    setAccessibleName(windowTitle());
    setFixedSize(359, 92);
    setModal(false);

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));
    picture->setAccessibleName(QStringLiteral("Processing"));
    showLabelText(QStringLiteral("Process"));
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    m_bar->setTextVisible(false);
    m_stop->setAccessibleName(QStringLiteral("Stop process"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(10);
    grid->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(m_label, 0, 1, 1, 2);
    grid->addWidget(m_bar, 1, 1, 1, 2);
    grid->addWidget(m_stop, 2, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);

    connect(m_stop, &QPushButton::clicked, this, [this] { m_abort = true; });
}

void TForm2::showProgress() {
    m_abort = false;
    showLabelText(QStringLiteral("Process"));
    m_bar->setRange(0, 0);
    m_bar->setValue(0);
    show();
    raise();
    repaint();
    QApplication::processEvents();
    m_sincePump.start();
}

void TForm2::hideProgress() {
    hide();
}

void TForm2::setLabel(const std::string& text) {
    showLabelText(QString::fromLocal8Bit(text));
    m_label->repaint();
}

void TForm2::showLabelText(const QString& text) {
    m_label->setText(text);
    m_label->setAccessibleName(text);
}

void TForm2::setRange(long long maximum) {
    m_scale = 1;
    while (maximum / m_scale > INT_MAX)
        m_scale *= 2;
    m_bar->setRange(0, static_cast<int>(maximum / m_scale));
    m_bar->setValue(0);
}

void TForm2::setPosition(long long position) {
    const int value = static_cast<int>(std::min<long long>(position / m_scale, m_bar->maximum()));
    if (value != m_bar->value())
        m_bar->setValue(value);
}

void TForm2::pump() {
    // Reading the clock costs about as much as reading a short line, so it is looked at only
    // on every 64th call.
    if ((++m_pumpCalls & 63) != 0)
        return;
    if (m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs)
        return;
    QApplication::processEvents();
    m_sincePump.start();
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
