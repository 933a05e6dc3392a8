// The progress window of a run: the drawing being read, a progress bar and "Stop process".
// It has no title bar: a window manager would put minimise, maximise and close buttons on it,
// and a minimised progress window hides Stop for the rest of the run. A single border frames
// it, and it is moved by dragging it anywhere.
#pragma once

#include "engine/run.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

class TForm2 : public QDialog, public kelvora::RunMonitor {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QLabel* label() const { return label_; }
    QProgressBar* progressBar() const { return bar_; }
    QPushButton* stopButton() const { return stop_; }

    // Shows the window (not modal) with a cleared abort flag and paints it at once.
    void showProgress() override;
    void hideProgress() override;
    void setLabel(const std::string& text) override;
    void setRange(long long maximum) override;
    void setPosition(long long position) override;
    // Lets the user interface handle its pending events, at most once every ~10 ms: a run
    // asks before every line, and a real event-loop pass per line would make it many times
    // slower.
    void pump() override;
    bool abortRequested() override { return abort_; }
    void clearAbort() override { abort_ = false; }

    // The user cannot close the window; only the run hides it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The label shows the text and screen readers read it as the label's name.
    void showLabelText(const QString& text);

    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* stop_;
    QElapsedTimer sincePump_;
    unsigned pumpCalls_ = 0;
    bool abort_ = false;
    // Progress values are scaled down by this factor when a drawing is larger than the bar's
    // int range.
    long long scale_ = 1;
};
