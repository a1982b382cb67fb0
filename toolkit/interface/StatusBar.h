#pragma once

// A progress bar: a sunken track filled from the left in proportion to the
// current value over the maximum.
//
// Above the bar, when there is any, a line of text: the label and the text
// on the left, the trailing text and the trailing label on the right.
// Without any text the bar starts at the top of the view.

#include <string>

#include <View.h>

class BStatusBar : public BView
{
public:
    BStatusBar(BRect frame, const char* name, const char* label = nullptr,
               const char* trailingLabel = nullptr);
    ~BStatusBar() override;

    void Draw(BRect updateRect) override;
    // A status bar always draws, whatever flags it is given.
    void SetFlags(uint32 flags) override;

    // The value stays within [0, max]; a maximum of 0 or less shows an
    // empty bar.
    virtual void SetMaxValue(float max);
    float MaxValue() const { return fMax; }
    float CurrentValue() const { return fValue; }
    // Adds `delta` to the value; non-null texts replace the current ones.
    virtual void Update(float delta, const char* text = nullptr,
                        const char* trailingText = nullptr);
    // Back to 0 of 100, with new labels and no texts.
    virtual void Reset(const char* label = nullptr, const char* trailingLabel = nullptr);

    virtual void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }
    virtual void SetTrailingText(const char* text);
    const char* TrailingText() const { return fTrailingText.c_str(); }
    const char* Label() const { return fLabel.c_str(); }
    const char* TrailingLabel() const { return fTrailingLabel.c_str(); }

    virtual void SetBarHeight(float height);
    float BarHeight() const { return fBarHeight; }
    virtual void SetBarColor(rgb_color color);
    rgb_color BarColor() const { return fBarColor; }

    // The bar's track in the view's coordinates.
    BRect BarFrame() const;

private:
    bool HasText() const;
    // Filled pixels of the track's inside, for the value.
    float FilledWidth(float value) const;
    void SetValueAndRedraw(float value);

    std::string fLabel;
    std::string fTrailingLabel;
    std::string fText;
    std::string fTrailingText;
    float fMax;
    float fValue;
    float fBarHeight;
    rgb_color fBarColor;
};
