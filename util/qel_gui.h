// qel_gui: the retained-mode widget toolkit.
//
// A tree of widgets: `Container`s own their children; `Table` and `Box` are
// containers with a grid and an alignment layout; `Label` shows text. The
// owner of a root container calls, every frame, its loop(), resize() and
// paint(), and hands it each event through event(); every widget below the
// root is reached through the underscored operations, which route through
// `Theme` for the box model (margin, border, padding), the decoration, the
// event sounds and content-relative event coordinates.
//
// Event handlers never call back: each returns an action value (a `var`, the
// widget's on* value for the event, or none) and a container returns the
// last value that was not none among its own and its children's; the owner
// acts on it.
//
// Hover and focus are held twice and kept in step: as the `hover` and
// `focus` flags of every widget's style on the hover and focus paths (from
// the target up to the root), and as the `hover` and `focus` pointers of
// every container on those paths. `_focus()` and `_hover()` move them.
//
// Styles (`StyleSheet`) hold a base layer, one layer per interaction state
// and a live layer that steps toward the state's values once per layout pass;
// only the live layer (`data[STYLE_CUR]`) is read by layout and painting.
//
// `TextInput` is the one focusable widget: an editable byte string with a
// caret, a selection, an undo history and the system clipboard.
//
// Sources: qel_gui.cpp (widget base, geometry, focus, navigation, the
// container), qel_gui-style.cpp (style records and animation),
// qel_gui-theme.cpp (box model, decoration, sounds, the font handle and the
// drawing back end), qel_gui-layout.cpp (Table, Box, Label), qel_gui-input.cpp
// (TextInput).
// Main thread only.
#ifndef QEL_GUI_H
#define QEL_GUI_H

#include <string>
#include <utility>
#include <vector>

#include "qel_event.h"
#include "qel_gfx.h"
#include "qel_var.h"

typedef float MyRectNumber;

// A rectangle in widget geometry. The getters are computed without rounding
// the sum to float and truncated toward zero (saturating).
struct MyRect {
    MyRectNumber x, y, w, h;

    MyRect(MyRectNumber x, MyRectNumber y, MyRectNumber w, MyRectNumber h) : x(x), y(y), w(w), h(h) {}
    int get_left() const;
    int get_top() const;
    int get_right() const;
    int get_bottom() const;
    int get_centerx() const;
    int get_centery() const;
};

// A style property that is not given, in int and in float fields.
const int STYLE_UNSET = -0xFFFFFF;

// Sides of `border`, `padding` and `margin`.
enum { STYLE_TOP = 0, STYLE_RIGHT = 1, STYLE_BOTTOM = 2, STYLE_LEFT = 3 };

// Layers of StyleSheet::data, and values of StyleSheet::state.
enum {
    STYLE_NONE = 0,    // neither hovered nor focused
    STYLE_CUR = 1,     // the live values, which every reader uses
    STYLE_HOVER = 2,   // hovered, not focused
    STYLE_FOCUS = 3,   // focused, not hovered
    STYLE_ACTIVE = 4,  // focused and hovered
    STYLE_ALT = 5,     // wins over all others while `alt` is set
    STYLE_MAX = 6
};

// One layer of style properties; every property starts STYLE_UNSET.
class StyleData {
  public:
    // One painted layer of the decoration, inside the border.
    class Draw {
      public:
        int image;  // image index; when given the layer draws this image
        int color;  // 0xRRGGBB: the image's tint, or the fill without an image
        int alpha;  // 0..255: the image's opacity (fills are opaque)
        int edge;   // border size of the image drawn as a 9-slice box
        int tile;   // tile size of the image repeated over the box

        Draw();
    };

    MyRectNumber width, height;  // content size asked for
    int clip;                    // non-zero: a Box clips its child
    int align, valign;           // -1 start, 0 centre, 1 end
    int color;                   // a Label's text colour 0xRRGGBB
    int alpha;                   // a Label's text alpha
    int border[4];
    int border_color;            // no border is drawn while it is unset
    int padding[4];
    int margin[4];
    Draw background;
    Draw overlay;
    // Sample indexes played when the widget receives the event.
    int sfx_onclick, sfx_ondown, sfx_onup, sfx_onenter, sfx_onfocus;

    StyleData();
    // Top, right, bottom, left; an unset side takes the top value.
    void set_border(int t, int r = STYLE_UNSET, int b = STYLE_UNSET, int l = STYLE_UNSET);
    void set_padding(int t, int r = STYLE_UNSET, int b = STYLE_UNSET, int l = STYLE_UNSET);
    void set_margin(int t, int r = STYLE_UNSET, int b = STYLE_UNSET, int l = STYLE_UNSET);
};

// A widget's style: its inherited fields are the base layer that the
// widget's owner sets.
class StyleSheet : public StyleData {
  public:
    StyleData data[STYLE_MAX];
    int hover;   // the pointer is over the widget
    int focus;   // the widget is on the focus path
    int active;  // focus and hover at once (set by restate)
    int alt;     // selects the STYLE_ALT layer first
    int state;   // the state layer restate chose

    StyleSheet();
    // active and state from hover and focus.
    void restate();
    // One animation step of every live property toward its target.
    void loop();
    // Steps from a toward b by c: linear, per colour channel, or a jump.
    int i_prep(int a, int b, int c);
    int c_prep(int a, int b, int c);
    int n_prep(int a, int b, int c);
};

class Container;

class Widget {
  public:
    int _type;
    Container* parent;  // null for the root of a tree
    Widget* next;       // what Tab focuses from here; null: none
    MyRect rect;        // content box: offset in the outer box, content size
    MyRect _rect;       // outer box: place in the parent's content, full size
    MyRect view;        // scroll offset of the content (x, y)
    var onclick, ondown, onup, onmove, onchange, onenter, onexit, onfocus;
    std::string name;
    StyleSheet style;
    int ignore;  // never hit, never sent EVT_ORIENT, never focused
    int useful;  // can take the focus
    int b_col, b_row, b_colspan, b_rowspan;  // cell in a Table
    int b_x, b_y;

    Widget();
    // Widgets are not copied by construction; assignment copies every field,
    // parent and next included.
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = default;

    virtual Widget* find(const char* name);
    virtual const char* get_value_s();
    virtual void set_value_s(const char* s);
    virtual int get_value_i();
    virtual void set_value_i(int v);
    virtual var get_value();
    virtual void set_value(var v);
    virtual var _focus();
    virtual var _hover();
    virtual Widget* find_hover();
    virtual var active();
    virtual std::vector<Widget*> _list_descendants();
    virtual bool _is_focus();
    virtual var event(Event* e);
    virtual void loop();
    virtual void paint();
    virtual void resize();
    virtual void resize(int w, int h);
    virtual var _event(Event* e);
    virtual void _paint();
    virtual void _resize();
    virtual void _resize(int w, int h);
    virtual ~Widget();

    Widget* _find_top();
    MyRect get_abs_rect(bool inc_style);
    void _enable_clip();
    void _disable_clip();
    var _nav(int dx, int dy);
};

// Holds and owns child widgets and drives them: dispatch, hover tracking,
// focus on press, click synthesis, auto-focus, bounding-box layout, painting.
class Container : public Widget {
  public:
    std::vector<Widget*> widgets;  // paint order; backwards, hit-test order
    Widget* hover;                 // the child on the hover path, or null
    Widget* focus;                 // the child on the focus path, or null
    int first;                     // non-zero while _find_focus runs

    Container();
    // Two containers never own the same children.
    Container(const Container&) = delete;
    // Copies the Widget part, then deletes every child: assigning an empty
    // container empties and resets a tree.
    void operator=(const Container& other);

    // Refuses (with one log line) null, a widget that has a parent, and this
    // container or one of its ancestors.
    void add(Widget* w, int x, int y);

    using Widget::resize;
    Widget* find(const char* name) override;
    Widget* find_hover() override;
    std::vector<Widget*> _list_descendants() override;
    bool _is_focus() override;
    var event(Event* e) override;
    void loop() override;
    void paint() override;
    void resize() override;
    ~Container() override;

    void _find_focus();
    void _container_destroy();

  protected:
    // Whether w may be added here; logs why not.
    bool _add_ok(Widget* w);
    // add() without the checks.
    void _add(Widget* w, int x, int y);
};

// Cells in a grid of columns and rows with spans, given in reading order.
class Table : public Container {
  public:
    int row;     // row of the next cell; -1 before the first tr()
    int col;     // column of the next cell
    Widget* me;  // spans the grid with the table's style size: its minimum

    Table();
    // A copy would share `me` with the original.
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    void tr();
    // A column other than -1 is clamped to 0 or more, spans to 1 or more.
    void td(Widget* w, int colspan, int rowspan, int col, int row);
    using Container::resize;
    void resize() override;
};

// Holds one child and places it by its style's align and valign; clips it to
// the box when the style's clip is set.
class Box : public Container {
  public:
    explicit Box(Widget* w);
    // A copy would share the child with the original.
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    void paint() override;
    void resize() override;
    void resize(int w, int h) override;
    virtual void _align();
};

// The widgets' handle on a bitmap font; a wrap width of 0 means no wrapping.
class QelGuiFont {
  public:
    int fid;

    QelGuiFont(int _fid) : fid(_fid) {}
    int get_height(const char* s, int w);
    int get_width(const char* s, int w);  // w itself when it is not 0
    void draw(const char* s, int x, int y, int w, int align);
    GfxRect crect(const char* s, int pos, int w, int align);
    int cnear(const char* s, int x, int y, int w, int align);
};

// Text in a bitmap font, sized to the text or wrapped to its style width.
class Label : public Widget {
  public:
    QelGuiFont fnt;
    std::string txt;

    // A null text is "".
    Label(QelGuiFont f, const char* s);
    void set_value_s(const char* s) override;
    var event(Event* e) override;
    void paint() override;
    using Widget::resize;
    void resize() override;
};

// One step of a text field's undo history.
class TextInputChange {
  public:
    int p;          // the caret before the change
    int pos;        // where the change starts
    std::string a;  // the bytes it removed
    std::string b;  // the bytes it inserted

    TextInputChange() : p(0), pos(0) {}
    TextInputChange(int p, int pos, std::string a, std::string b)
        : p(p), pos(pos), a(std::move(a)), b(std::move(b)) {}
    // A hook for tracing the history while debugging: the label names the
    // operation, n is the field's undo_n.
    void print(const char* label, int n) {
        (void)label;
        (void)n;
    }
};

// An editable line (or, with `wrap`, a block) of bytes. Every edit, typed,
// pasted or set, goes through _change, which keeps the text within `maxlen`,
// filters it to printable ASCII and records the step for undo. Takes focus;
// on Return it returns `onchange`. Positions are byte indexes into `txt`.
class TextInput : public Widget {
  public:
    QelGuiFont fnt;
    std::string txt;   // the value
    std::string txt2;  // what is shown: txt, or stars with `passwd`
    std::vector<TextInputChange> undo;  // oldest first, at most 255
    int undo_n;        // records applied; those from undo_n on can be redone
    int _pos;          // selection anchor
    int pos;           // caret; the selection lies between _pos and pos
    int cursor_w;      // caret width: 2
    int cx;            // x kept while moving between lines; -1: none
    unsigned int maxlen;  // above the int range: no limit
    int passwd;        // show stars
    int reveal;        // with passwd: the last byte shows
    int wrap;          // several lines, wrapped at the field's width

    // A null text is ""; the limit is raised to the text's length.
    TextInput(QelGuiFont f, const char* txt, unsigned int maxlen);
    const char* get_value_s() override;
    // A null text is "".
    void set_value_s(const char* s) override;
    var get_value() override;
    void set_value(var v) override;
    var event(Event* e) override;
    void paint() override;
    using Widget::resize;
    void resize() override;

    void _change(int p, int n, std::string b);
    void _apply(int p, int n, std::string v);
    void _undo();
    void _redo();
    std::string _filter(std::string ct);
    void _mktxt2();
    void _click(int x, int y, bool both);
    void _adjust(bool _cx, bool cursor);
    int _min(int a, int b) { return a < b ? a : b; }
    int _max(int a, int b) { return a > b ? a : b; }
    int _abs(int a) { return a < 0 ? -a : a; }
};

// The box model, decoration painting and event sounds of every widget below
// a root, from its live style layer.
class Theme {
  public:
    static void resize(Widget* w);
    static void resize(Widget* w, int width, int height);
    static var event(Widget* w, Event* e);
    static void paint(Widget* w);
};

// Sets the drawing colour, premultiplied by a.
void guiColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

// Functions of the grid layout.
int t_max(int a, int b);
int t_sum(int* v, int a, int b);          // v[a] + ... + v[b - 1]
int t_div(int a, int b, int c);           // part c's share of a spread over b
bool t_sort_by_colspan(Widget* a, Widget* b);
bool t_sort_by_rowspan(Widget* a, Widget* b);

// Where the toolkit's drawing goes: every colour, translation, clip and
// primitive of the widgets passes through the back end in use. The default
// one calls the graphics and font layers; a test or a benchmark installs its
// own to record or count the calls without GL.
class GuiDraw {
  public:
    virtual ~GuiDraw() {}
    virtual void color(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
    virtual void translate(float x, float y);
    virtual void clip(float x, float y, float w, float h);
    virtual void unclip();
    // Whether r, in the current frame, is to be drawn.
    virtual bool visible(GfxRect r);
    virtual void fill(unsigned int c, int x, int y, int w, int h);
    virtual void img_blit(int img, float x, float y, float w, float h);
    virtual void img_box(int img, int x, int y, int w, int h, int sz);
    virtual void img_tile(int img, int x, int y, int w, int h, int sz);
    virtual void text(int fid, const char* s, float x, float y, float w, int align);
};

GuiDraw* gui_draw();
// Installs a back end; null restores the default one.
void _gui_set_draw(GuiDraw* d);

// Shared by the toolkit's sources: a 64-bit value saturated to int, and the
// margin + border + padding of one side of a widget's live layer.
int _gui_clamp(long long v);
int _gui_decoration(const Widget* w, int side);

#endif
