// Veltro: a thin class layer over Win32 windows.  Forms are windows of the
// system dialog class ("#32770"); events reach the program through one plain
// dialog procedure per form.  Narrow (ANSI) strings, "A" calls throughout.
//
// Objects are meant to be process globals built during static construction
// (the caller initialises the common controls first, before any Toolbar).
// Destroying an object frees what it holds (timer list, strings, brushes,
// image lists, icons) but never its window, which goes away with its parent
// or the process.  Single-threaded: every call on the thread owning the
// windows.
#ifndef VELTRO_H
#define VELTRO_H

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

// ------------------------------------------------------------ run-time check

// Checks a property access before it calls its owner.  Returns true when the
// owner and the needed accessor are present.  Otherwise shows the
// "Veltro runtime check" box (Abort ends the process with exit code 3,
// Retry and Ignore return) and returns false: the access then does nothing
// (assigning) or yields a value-initialised value (reading).
bool VeltroCheckAccess(bool hasOwner, bool hasAccessor, bool reading);

// The box text for a failed check, formatted into `buffer` of `size` bytes
// and always cut to fit (never beyond `size`, always terminated).  Returns
// the length written.  `expression` is "m_cObject != NULL", "Get != NULL"
// or "Set != NULL".
size_t VeltroFormatCheck(char* buffer, size_t size, const char* expression,
                         long line);

// Shows the box: by default MessageBoxA(NULL, text, title, flags).  Tests
// replace it; the function returns the pressed button (IDABORT, IDRETRY,
// IDIGNORE).  Returns the previous reporter.
typedef int (*VeltroReporter)(const char* text, const char* title, UINT flags);
VeltroReporter VeltroSetReporter(VeltroReporter reporter);

// Caption and flags of the box.
extern const char* const kVeltroCheckTitle;  // "Veltro runtime check"
const UINT kVeltroCheckFlags = MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_DEFBUTTON3;

// ------------------------------------------------------------ Property

// A value of an owner object reached through the owner's accessors.  Bound
// once, in the owner's constructor; either accessor may be absent.
template <class Owner, class T>
class Property {
 public:
  typedef typename std::decay<T>::type Value;
  typedef T (Owner::*Getter)() const;
  typedef void (Owner::*Setter)(T);

  Owner* m_cObject = nullptr;
  Getter Get = nullptr;
  Setter Set = nullptr;

  Property() = default;
  Property(Owner* owner, Getter get, Setter set)
      : m_cObject(owner), Get(get), Set(set) {}
  // Copying an owner must not leave its properties bound to the original.
  Property(const Property&) = delete;

  void Bind(Owner* owner, Getter get, Setter set) {
    m_cObject = owner;
    Get = get;
    Set = set;
  }

  // Reading.
  operator T() const { return read(); }
  T operator()() const { return read(); }

  // Assigning.
  Property& operator=(T value) {
    if (VeltroCheckAccess(m_cObject != nullptr, Set != nullptr, false))
      (m_cObject->*Set)(value);
    return *this;
  }
  // `a.p = b.p` assigns the value, not the binding.
  Property& operator=(const Property& other) { return *this = other.read(); }

 private:
  T read() const {
    if (VeltroCheckAccess(m_cObject != nullptr, Get != nullptr, true))
      return (m_cObject->*Get)();
    static const Value none{};
    return none;
  }
};

// ------------------------------------------------------------ Application

// Facts about the running program, taken at construction.
class Application {
 public:
  Application();
  DWORD tickCount;                 // GetTickCount() at construction
  std::string path;                // full program path (at most 260 chars)
  std::string directory;           // path cut at its last '\\' or '/'
  std::vector<std::string> arguments;  // command-line arguments, argv[1..]
};

// ------------------------------------------------------------ Icon, Bitmap

class Icon {
 public:
  Icon() = default;
  explicit Icon(int resourceId) { load(resourceId); }
  ~Icon();
  Icon(const Icon&) = delete;
  Icon& operator=(const Icon&) = delete;
  // LoadIconA(module, resourceId) after destroying any held icon.
  // Returns false (and holds nothing) when there is no such icon.
  bool load(int resourceId);
  HICON handle() const { return icon_; }
  bool empty() const { return icon_ == nullptr; }

 private:
  HICON icon_ = nullptr;
};

// A bitmap handle and its BITMAP description.  Empty when loading failed.
class Bitmap {
 public:
  Bitmap();
  // From the program's resources: a plain bitmap resource `resourceId` if
  // there is one, else resource `resourceId` of type `typeName` decoded by
  // the system picture loader (JPEG, GIF, BMP...).
  Bitmap(int resourceId, const char* typeName);
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  bool loadResource(int resourceId, const char* typeName);
  // A picture file (BMP, JPEG, GIF) decoded by the system picture loader.
  bool loadFile(const char* fileName);
  // Takes ownership of `bitmap` (may be null).
  void reset(HBITMAP bitmap = nullptr);

  HBITMAP handle() const { return bitmap_; }
  bool empty() const { return bitmap_ == nullptr; }
  const BITMAP& info() const { return info_; }
  int width() const { return info_.bmWidth; }
  int height() const { return info_.bmHeight; }

 private:
  HBITMAP bitmap_ = nullptr;
  BITMAP info_;
};

// Decodes an encoded picture (any format OleLoadPicture takes) held in
// memory into a new bitmap; null on any failure.
HBITMAP VeltroDecodePicture(const void* data, size_t size);

// ------------------------------------------------------------ Control base

class Control;

// What a constructor takes as the parent: a control, or a window handle
// (nullptr: no parent, a top-level window; write nullptr, not NULL, which
// would be ambiguous here).
struct WindowRef {
  HWND window;
  WindowRef(HWND w) : window(w) {}
  WindowRef(std::nullptr_t) : window(nullptr) {}
  WindowRef(const Control& c);
  WindowRef(const Control* c);
};

class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The object whose window this is, found through GWL_USERDATA; null when
  // the window is not (or no longer) a live object of this layer.
  static Control* fromWindow(HWND window);

  HWND window() const { return window_; }
  HWND parentWindow() const { return parent_; }
  int identifier() const { return identifier_; }

  // All of these do nothing when the object has no window.
  void show();
  void hide();
  void maximize();
  void minimize();
  void refresh();   // InvalidateRect(window, NULL, TRUE)
  void disable();
  void enable();
  void setCaption(const char* caption);
  std::string caption() const;
  // Outer position in the parent's client area (the screen for top-level
  // windows); negative coordinates become 0.
  void move(int x, int y);
  // Outer size, at least 10 x 10.
  void resize(int width, int height);
  // Centred in the parent's client area (child windows) or on the desktop.
  void center();
  // SetWindowLongA(GWL_EXSTYLE) and a frame change; returns the old value.
  LONG setExtendedStyle(LONG exStyle);

  // Named timers.  The first timer of a control gets identifier 1, the next
  // 2, and so on.  startTimer fails for a name already running or when the
  // system refuses the timer.
  bool startTimer(const char* name, UINT periodMs);
  int timerId(const char* name) const;  // -1 if there is no such timer
  bool stopTimer(const char* name);

  // Colour the parent's procedure paints this control's background with;
  // setting it marks the control as custom-coloured.
  Property<Control, COLORREF> backgroundColor;
  bool hasCustomColor() const { return customColor_ != 0; }
  // A solid brush of backgroundColor, made once per colour and owned by the
  // control (for answering WM_CTLCOLOR* messages).
  HBRUSH backgroundBrush();

  Property<Control, std::string> text;  // window text
  Property<Control, int> left;          // outer position, see move()
  Property<Control, int> top;
  Property<Control, int> width;         // outer size, see resize()
  Property<Control, int> height;

 protected:
  // Creates the window; the parent handle and identifier must be set first.
  HWND create(DWORD exStyle, const char* className, const char* caption,
              DWORD style, int x, int y, int w, int h, HMENU menu);
  void setDefaultFont();
  // The usual set-up of a new child control: caption, position, size, the
  // default GUI font, then centring and disabling as asked.
  void placeChild(const char* caption, int x, int y, int w, int h, bool enabled,
                  bool centered);
  void setIdentifier(int id) { identifier_ = id; }
  void setParentWindow(HWND parent) { parent_ = parent; }
  void storeUserData();

 private:
  struct NamedTimer {
    std::string name;
    int id;
  };
  COLORREF getBackgroundColor() const { return color_; }
  void setBackgroundColor(COLORREF color);
  std::string getText() const { return caption(); }
  void setText(std::string value) { setCaption(value.c_str()); }
  RECT rectInParent() const;
  int getLeft() const { return rectInParent().left; }
  int getTop() const { return rectInParent().top; }
  int getWidth() const;
  int getHeight() const;
  void setLeft(int x) { move(x, getTop()); }
  void setTop(int y) { move(getLeft(), y); }
  void setWidth(int w) { resize(w, getHeight()); }
  void setHeight(int h) { resize(getWidth(), h); }

  int timerCounter_ = 0;
  COLORREF color_ = 0;
  unsigned char customColor_ = 0;
  HBRUSH brush_ = nullptr;
  COLORREF brushColor_ = 0;
  int identifier_ = 0;
  HWND parent_;
  HWND window_ = nullptr;
  std::vector<NamedTimer> timers_;
};

// ------------------------------------------------------------ Form

// Default dialog procedure of a form: posts the quit message on WM_CLOSE,
// returns 0 for every message.
INT_PTR CALLBACK VeltroDefaultFormProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);

class Form : public Control {
 public:
  // `style`: WS_OVERLAPPEDWINDOW or WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
  // (or 0); WS_CLIPCHILDREN is always added, WS_CHILD when `child`
  // (WS_POPUP is then dropped).  WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES
  // are always added to `exStyle`.  A non-child form with a parent is owned
  // by it.
  Form(const char* caption, int x, int y, int width, int height, DWORD style,
       bool enabled, bool visible, bool maximized, bool minimized,
       bool centered, WindowRef parent, bool child, DWORD exStyle = 0);

  // The dialog procedure of the form; the last one set gets every later
  // message.  0 from it lets the system's dialog handling run.
  Property<Form, DLGPROC> procedure;
  // The form's small and big icon.
  Property<Form, const Icon&> icon;

  DWORD style() const { return style_; }      // as requested
  DWORD exStyle() const { return exStyle_; }  // as requested

 private:
  DLGPROC getProcedure() const { return procedure_; }
  void setProcedure(DLGPROC procedure);
  const Icon& getIcon() const;
  void setIcon(const Icon& icon);

  DWORD style_;
  DWORD exStyle_;
  DLGPROC procedure_ = nullptr;
  const Icon* icon_ = nullptr;
};

// ------------------------------------------------------------ ImageList

class ImageList {
 public:
  // sizeMode 0: small-icon size (SM_CXSMICON), 1: 24 pixels, other: SM_CXICON.
  explicit ImageList(int sizeMode = 0);
  ~ImageList();
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;
  // Appends icon `resourceId` of the program; returns its index or -1.
  int addIcon(int resourceId);
  int count() const;
  int size() const { return size_; }
  HIMAGELIST handle() const { return list_; }

 private:
  HIMAGELIST list_ = nullptr;
  int size_ = 0;
};

// ------------------------------------------------------------ Toolbar

class Toolbar : public Control {
 public:
  Toolbar(int identifier, WindowRef parent, int x, int y, bool enabled,
          bool visible, bool flat, bool divider, DWORD exStyle = 0);

  // TB_SETIMAGELIST; the list stays owned by the caller.
  void setImageList(const ImageList& list);
  // One button: image index, command identifier, enabled, plain button.
  // The caption is shown only while textLabels is true.
  bool addButton(const char* caption, int image, int command);
  int buttonCount() const;

  Property<Toolbar, bool> wrapable;     // TBSTYLE_WRAPABLE in the window style
  Property<Toolbar, bool> textLabels;   // captions on added buttons

 private:
  bool getWrapable() const;
  void setWrapable(bool on);
  bool getTextLabels() const { return textLabels_; }
  void setTextLabels(bool on) { textLabels_ = on; }
  bool textLabels_ = false;
};

// ------------------------------------------------------------ CheckBox

class CheckBox : public Control {
 public:
  CheckBox(const char* caption, int identifier, int x, int y, int width,
           int height, WindowRef parent, bool checked, bool enabled,
           bool visible, bool centered, DWORD exStyle = 0);
  Property<CheckBox, bool> checked;

 private:
  bool getChecked() const;
  void setChecked(bool on);
};

// ------------------------------------------------------------ Button

class Button : public Control {
 public:
  Button(const char* caption, int identifier, int x, int y, int width,
         int height, WindowRef parent, bool enabled, bool visible,
         bool centered, bool isDefault, DWORD exStyle = 0, bool hasIcon = false,
         const Icon* icon = nullptr);
};

// ------------------------------------------------------------ BmpBox

// A static control showing a bitmap.  It shows its own copy of the picture,
// so the Bitmap given may go away.
class BmpBox : public Control {
 public:
  BmpBox(int identifier, int x, int y, int width, int height, WindowRef parent,
         const Bitmap& bitmap, bool visible, DWORD exStyle = 0);
  ~BmpBox() override;
  // Replaces the picture (a copy of `bitmap`; empty clears it).
  void setBitmap(const Bitmap& bitmap);
  HBITMAP bitmap() const { return shown_; }

 private:
  HBITMAP shown_ = nullptr;
};

#endif  // VELTRO_H
