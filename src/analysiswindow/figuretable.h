#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

// A fixed grid of texts drawn by one widget: a label column on the left, value columns right-aligned.
// Figures change up to five times a second; a label per figure would lay the page out again and repaint
// it at every change, where this repaints only the cells whose text changed.
class FigureTable : public QWidget {
    Q_OBJECT
public:
    FigureTable(int rows, int columns, QWidget* parent = nullptr);

    void setText(int row, int column, const QString& text);
    [[nodiscard]] QString text(int row, int column) const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    [[nodiscard]] QRect cellRect(int row, int column) const;
    [[nodiscard]] int rowHeight() const;
    [[nodiscard]] int labelWidth() const { return m_labelWidth; }
    void measure();
    // Width each value column asks for: room for a long figure, wider only when a text needs it.
    [[nodiscard]] int valueWidth() const;

    int m_rows;
    int m_columns;
    QVector<QString> m_texts;
    int m_widest = 0;     // widest value text seen, pixels
    int m_labelWidth = 0; // the label column, pixels
};

// One line of text, cut with an ellipsis where it is wider than the widget. Setting a text repaints the
// line alone: a label would ask the layout again, and a tab widget repaints whole at every such request.
class TextStrip : public QWidget {
    Q_OBJECT
public:
    explicit TextStrip(QWidget* parent = nullptr);

    void setText(const QString& text);
    [[nodiscard]] QString text() const { return m_text; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};
