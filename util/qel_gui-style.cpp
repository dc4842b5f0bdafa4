// qel_gui-style: style layers, the state rule and the animation step.
//
// Each live property (layer STYLE_CUR) moves once per layout pass toward its
// target: the STYLE_ALT layer's value while `alt` is set, else the state
// layer's, else the base's; a property no layer gives keeps its live value.
// A live value that is still unset takes the target at once, so a widget is
// drawn with its target values from its first frame.
#include "qel_gui.h"

#include "qel_util.h"

StyleData::Draw::Draw()
    : image(STYLE_UNSET), color(STYLE_UNSET), alpha(STYLE_UNSET), edge(STYLE_UNSET), tile(STYLE_UNSET) {}

StyleData::StyleData()
    : width((float)STYLE_UNSET), height((float)STYLE_UNSET), clip(STYLE_UNSET), align(STYLE_UNSET),
      valign(STYLE_UNSET), color(STYLE_UNSET), alpha(STYLE_UNSET), border_color(STYLE_UNSET),
      sfx_onclick(STYLE_UNSET), sfx_ondown(STYLE_UNSET), sfx_onup(STYLE_UNSET), sfx_onenter(STYLE_UNSET),
      sfx_onfocus(STYLE_UNSET) {
    set_margin(STYLE_UNSET, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    set_padding(STYLE_UNSET, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    set_border(STYLE_UNSET, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
}

// A missing side copies the top, not its neighbour.
static void _style_sides(int* v, int t, int r, int b, int l) {
    v[STYLE_TOP] = t;
    v[STYLE_RIGHT] = r != STYLE_UNSET ? r : t;
    v[STYLE_BOTTOM] = b != STYLE_UNSET ? b : t;
    v[STYLE_LEFT] = l != STYLE_UNSET ? l : t;
}

void StyleData::set_border(int t, int r, int b, int l) { _style_sides(border, t, r, b, l); }
void StyleData::set_padding(int t, int r, int b, int l) { _style_sides(padding, t, r, b, l); }
void StyleData::set_margin(int t, int r, int b, int l) { _style_sides(margin, t, r, b, l); }

StyleSheet::StyleSheet() : hover(0), focus(0), active(0), alt(0), state(STYLE_NONE) {}

void StyleSheet::restate() {
    active = focus && hover ? 1 : 0;
    if (active) state = STYLE_ACTIVE;
    else if (focus) state = STYLE_FOCUS;
    else if (hover) state = STYLE_HOVER;
    else state = STYLE_NONE;
}

// A step never passes the target; a distance equal to the step lands on it.
int StyleSheet::i_prep(int a, int b, int c) {
    float d = (float)((double)b - (double)a);
    if ((float)c > myabs(d)) return b;
    return _gui_clamp((long long)a + (long long)mysign(d) * c);
}

// Three 8-bit channels stepped on their own; bits above red are dropped.
int StyleSheet::c_prep(int a, int b, int c) {
    int red = i_prep(a & 0xFF0000, b & 0xFF0000, (int)((unsigned)c << 16));
    int green = i_prep(a & 0xFF00, b & 0xFF00, (int)((unsigned)c << 8));
    int blue = i_prep(a & 0xFF, b & 0xFF, c);
    return red | green | blue;
}

int StyleSheet::n_prep(int, int b, int) { return b; }

// NaN is given too: it differs from the marker.
static bool _style_given(int v) { return v != STYLE_UNSET; }
static bool _style_given(float v) { return !(v == (float)STYLE_UNSET); }

// One property: `get` picks it out of a layer, `step` moves a live value
// toward a target.
template <class Get, class Step>
static void _style_step(StyleSheet& s, Get get, Step step) {
    auto& live = get(s.data[STYLE_CUR]);
    const auto* target = &get(static_cast<StyleData&>(s));
    bool found = false;
    // An out-of-range state (set by hand) selects no layer.
    bool state_ok = s.state >= 0 && s.state < STYLE_MAX;
    if (s.alt && _style_given(get(s.data[STYLE_ALT]))) {
        target = &get(s.data[STYLE_ALT]);
        found = true;
    } else if (state_ok && _style_given(get(s.data[s.state]))) {
        target = &get(s.data[s.state]);
        found = true;
    } else {
        found = _style_given(*target);
    }
    if (!found) return;
    if (!_style_given(live)) live = *target;
    else live = step(live, *target);
}

void StyleSheet::loop() {
    auto size = [this](float a, float b) { return (float)i_prep(myint(a), myint(b), 1000); };
    auto jump = [this](int a, int b) { return n_prep(a, b, 0); };
    auto colour = [this](int a, int b) { return c_prep(a, b, 36); };
    auto fade = [this](int a, int b) { return i_prep(a, b, 36); };
    auto pixel = [this](int a, int b) { return i_prep(a, b, 1); };

    _style_step(*this, [](StyleData& d) -> float& { return d.width; }, size);
    _style_step(*this, [](StyleData& d) -> float& { return d.height; }, size);
    _style_step(*this, [](StyleData& d) -> int& { return d.clip; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.align; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.valign; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.color; }, colour);
    _style_step(*this, [](StyleData& d) -> int& { return d.alpha; }, fade);
    for (int side = STYLE_TOP; side <= STYLE_LEFT; side++) {
        _style_step(*this, [side](StyleData& d) -> int& { return d.margin[side]; }, pixel);
        _style_step(*this, [side](StyleData& d) -> int& { return d.border[side]; }, pixel);
        _style_step(*this, [side](StyleData& d) -> int& { return d.padding[side]; }, pixel);
    }
    _style_step(*this, [](StyleData& d) -> int& { return d.border_color; }, colour);
    StyleData::Draw StyleData::*layers[2] = {&StyleData::background, &StyleData::overlay};
    for (auto layer : layers) {
        _style_step(*this, [layer](StyleData& d) -> int& { return (d.*layer).image; }, jump);
        _style_step(*this, [layer](StyleData& d) -> int& { return (d.*layer).color; }, colour);
        _style_step(*this, [layer](StyleData& d) -> int& { return (d.*layer).alpha; }, fade);
        _style_step(*this, [layer](StyleData& d) -> int& { return (d.*layer).edge; }, pixel);
        _style_step(*this, [layer](StyleData& d) -> int& { return (d.*layer).tile; }, pixel);
    }
    _style_step(*this, [](StyleData& d) -> int& { return d.sfx_onclick; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.sfx_ondown; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.sfx_onup; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.sfx_onenter; }, jump);
    _style_step(*this, [](StyleData& d) -> int& { return d.sfx_onfocus; }, jump);
}
