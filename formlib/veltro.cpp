#include "veltro.h"

#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

// The dialog class of the system: atom 0x8002, "#32770".
const char* const kDialogClass = MAKEINTATOM(0x8002);

// Styles every form gets.
const DWORD kFormAddedExStyle = WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;  // 0x10010
// Toolbar: TBSTYLE_ALTDRAG | TBSTYLE_WRAPABLE | CCS_ADJUSTABLE |
// CCS_NOHILITE, plus CCS_NODIVIDER without a divider.
const DWORD kToolbarStyleDivider = 0x630;
const DWORD kToolbarStyleNoDivider = 0x670;
const WPARAM kToolbarButtonSize = 20;  // sizeof(TBBUTTON) on 32-bit Windows
const DWORD kCheckBoxStyle = WS_CHILD | WS_TABSTOP | BS_MULTILINE | BS_AUTOCHECKBOX;
const DWORD kButtonStyle = WS_CHILD | WS_TABSTOP | BS_MULTILINE;
const DWORD kBmpBoxStyle =
    WS_CHILD | WS_TABSTOP | SS_REALSIZEIMAGE | SS_CENTERIMAGE | SS_NOTIFY | SS_BITMAP;
const int kMinimumSize = 10;
// Pictures larger than this are not decoded (a damaged or hostile file).
const DWORD kMaxPictureBytes = 64u << 20;

// Every live Control, so that fromWindow never trusts a stray GWL_USERDATA.
std::vector<Control*>& LiveControls() {
  static std::vector<Control*> live;
  return live;
}

int DefaultReporter(const char* text, const char* title, UINT flags) {
  return MessageBoxA(nullptr, text, title, flags);
}

VeltroReporter g_reporter = DefaultReporter;

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

}  // namespace

// ------------------------------------------------------------ run-time check

const char* const kVeltroCheckTitle = "Veltro runtime check";

size_t VeltroFormatCheck(char* buffer, size_t size, const char* expression,
                         long line) {
  if (!buffer || size == 0) return 0;
  char program[MAX_PATH + 1] = "";
  DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
  program[n < MAX_PATH ? n : MAX_PATH] = '\0';
  int written = snprintf(buffer, size,
                         "Assertion failed!\r\n\r\nProgram: %s\r\nFILE: %s\r\n"
                         "LINE: %ld\r\n\r\nExpression: %s\r\n\r\n"
                         "Compiled on : %s at %s\r\n\r\n\r\n"
                         "For information on how your program can cause a "
                         "runtime check failure, see the Veltro help manual.",
                         program, BaseName(__FILE__), line,
                         expression ? expression : "", __DATE__, __TIME__);
  buffer[size - 1] = '\0';
  if (written < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return strlen(buffer);
}

VeltroReporter VeltroSetReporter(VeltroReporter reporter) {
  VeltroReporter old = g_reporter;
  g_reporter = reporter ? reporter : DefaultReporter;
  return old;
}

bool VeltroCheckAccess(bool hasOwner, bool hasAccessor, bool reading) {
  const char* expression;
  long line;
  if (!hasOwner) {
    expression = "m_cObject != NULL";
    line = __LINE__;
  } else if (!hasAccessor) {
    expression = reading ? "Get != NULL" : "Set != NULL";
    line = __LINE__;
  } else {
    return true;
  }
  char text[1024];
  VeltroFormatCheck(text, sizeof text, expression, line);
  if (g_reporter(text, kVeltroCheckTitle, kVeltroCheckFlags) == IDABORT) {
    // Abort is a failure: the process ends with a non-zero code, as the C
    // runtime's abort does, without running further program code.
    ExitProcess(3);
  }
  return false;
}

// ------------------------------------------------------------ Application

Application::Application() : tickCount(GetTickCount()) {
  char buffer[MAX_PATH + 1] = "";
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  buffer[n < MAX_PATH ? n : MAX_PATH] = '\0';
  path = buffer;
  size_t cut = path.find_last_of("\\/");
  directory = cut == std::string::npos ? std::string() : path.substr(0, cut);
  if (__argv) {
    for (int i = 1; i < __argc; ++i)
      if (__argv[i]) arguments.push_back(__argv[i]);
  }
}

// ------------------------------------------------------------ Icon

Icon::~Icon() {
  if (icon_) DestroyIcon(icon_);
}

bool Icon::load(int resourceId) {
  if (icon_) DestroyIcon(icon_);
  icon_ = LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(resourceId));
  return icon_ != nullptr;
}

// ------------------------------------------------------------ Bitmap

Bitmap::Bitmap() { ZeroMemory(&info_, sizeof info_); }

Bitmap::Bitmap(int resourceId, const char* typeName) : Bitmap() {
  loadResource(resourceId, typeName);
}

Bitmap::~Bitmap() { reset(); }

void Bitmap::reset(HBITMAP bitmap) {
  if (bitmap_ && bitmap_ != bitmap) DeleteObject(bitmap_);
  bitmap_ = bitmap;
  ZeroMemory(&info_, sizeof info_);
  if (bitmap_ && !GetObjectA(bitmap_, sizeof info_, &info_))
    ZeroMemory(&info_, sizeof info_);
}

HBITMAP VeltroDecodePicture(const void* data, size_t size) {
  if (!data || size == 0 || size > kMaxPictureBytes) return nullptr;
  // The stream needs movable memory; its bytes start zeroed.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!memory) return nullptr;
  void* bytes = GlobalLock(memory);
  if (!bytes) {
    GlobalFree(memory);
    return nullptr;
  }
  memcpy(bytes, data, size);
  GlobalUnlock(memory);

  HBITMAP result = nullptr;
  IStream* stream = nullptr;
  if (SUCCEEDED(CreateStreamOnHGlobal(memory, FALSE, &stream))) {
    IPicture* picture = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, 0, FALSE, IID_IPicture,
                                 reinterpret_cast<void**>(&picture))) &&
        picture) {
      SHORT type = PICTYPE_NONE;
      OLE_HANDLE handle = 0;
      if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
          SUCCEEDED(picture->get_Handle(&handle)) && handle) {
        // Always a new bitmap: the picture deletes its own on release.
        result = static_cast<HBITMAP>(CopyImage(
            reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)),
            IMAGE_BITMAP, 0, 0, 0));
      }
      picture->Release();
    }
    stream->Release();
  }
  GlobalFree(memory);
  return result;
}

bool Bitmap::loadResource(int resourceId, const char* typeName) {
  reset();
  HINSTANCE module = ModuleInstance();
  HBITMAP plain = LoadBitmapA(module, MAKEINTRESOURCEA(resourceId));
  if (plain) {
    reset(plain);
    return true;
  }
  if (!typeName) return false;
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(resourceId), typeName);
  if (!info) return false;
  HGLOBAL resource = LoadResource(module, info);
  if (!resource) return false;
  const void* data = LockResource(resource);
  DWORD size = SizeofResource(module, info);
  if (!data || size == 0) return false;
  reset(VeltroDecodePicture(data, size));
  return !empty();
}

bool Bitmap::loadFile(const char* fileName) {
  reset();
  if (!fileName) return false;
  HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  std::vector<char> data;
  bool ok = size != INVALID_FILE_SIZE && high == 0 && size > 0 &&
            size <= kMaxPictureBytes;
  if (ok) {
    data.resize(size);
    DWORD read = 0;
    ok = ReadFile(file, data.data(), size, &read, nullptr) && read == size;
  }
  CloseHandle(file);
  if (ok) reset(VeltroDecodePicture(data.data(), data.size()));
  return !empty();
}

// ------------------------------------------------------------ Control

WindowRef::WindowRef(const Control& c) : window(c.window()) {}
WindowRef::WindowRef(const Control* c) : window(c ? c->window() : nullptr) {}

Control::Control() : parent_(GetDesktopWindow()) {
  backgroundColor.Bind(this, &Control::getBackgroundColor, &Control::setBackgroundColor);
  text.Bind(this, &Control::getText, &Control::setText);
  left.Bind(this, &Control::getLeft, &Control::setLeft);
  top.Bind(this, &Control::getTop, &Control::setTop);
  width.Bind(this, &Control::getWidth, &Control::setWidth);
  height.Bind(this, &Control::getHeight, &Control::setHeight);
  LiveControls().push_back(this);
}

Control::~Control() {
  std::vector<Control*>& live = LiveControls();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  if (window_ && IsWindow(window_) &&
      GetWindowLongPtrA(window_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  if (brush_) DeleteObject(brush_);
}

Control* Control::fromWindow(HWND window) {
  if (!window) return nullptr;
  LONG_PTR data = GetWindowLongPtrA(window, GWLP_USERDATA);
  if (!data) return nullptr;
  for (Control* c : LiveControls())
    if (reinterpret_cast<LONG_PTR>(c) == data && c->window_ == window) return c;
  return nullptr;
}

HWND Control::create(DWORD exStyle, const char* className, const char* caption,
                     DWORD style, int x, int y, int w, int h, HMENU menu) {
  window_ = CreateWindowExA(exStyle, className, caption, style, x, y, w, h,
                            parent_, menu, ModuleInstance(), nullptr);
  return window_;
}

void Control::storeUserData() {
  if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Control::setDefaultFont() {
  if (window_)
    SendMessageA(window_, WM_SETFONT,
                 reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
}

void Control::placeChild(const char* caption, int x, int y, int w, int h,
                         bool enabled, bool centered) {
  setCaption(caption);
  move(x, y);
  resize(w, h);
  setDefaultFont();
  if (centered) center();
  if (!enabled) disable();
}

void Control::show() {
  if (window_) ShowWindow(window_, SW_SHOW);
}
void Control::hide() {
  if (window_) ShowWindow(window_, SW_HIDE);
}
void Control::maximize() {
  if (window_) ShowWindow(window_, SW_SHOWMAXIMIZED);
}
void Control::minimize() {
  if (window_) ShowWindow(window_, SW_MINIMIZE);
}
void Control::refresh() {
  if (window_) InvalidateRect(window_, nullptr, TRUE);
}
void Control::disable() {
  if (window_) EnableWindow(window_, FALSE);
}
void Control::enable() {
  if (window_) EnableWindow(window_, TRUE);
}

void Control::setCaption(const char* caption) {
  if (window_) SetWindowTextA(window_, caption ? caption : "");
}

std::string Control::caption() const {
  if (!window_) return std::string();
  int length = GetWindowTextLengthA(window_);
  if (length <= 0) return std::string();
  std::vector<char> buffer(length + 1);
  int n = GetWindowTextA(window_, buffer.data(), length + 1);
  return std::string(buffer.data(), n > 0 ? n : 0);
}

// The outer rectangle in the coordinates MoveWindow takes for this window:
// the parent's client area for child windows, the screen otherwise.
RECT Control::rectInParent() const {
  RECT r = {0, 0, 0, 0};
  if (!window_ || !GetWindowRect(window_, &r)) return r;
  if (GetWindowLongA(window_, GWL_STYLE) & WS_CHILD) {
    HWND parent = GetParent(window_);
    if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

int Control::getWidth() const {
  RECT r = rectInParent();
  return r.right - r.left;
}

int Control::getHeight() const {
  RECT r = rectInParent();
  return r.bottom - r.top;
}

void Control::move(int x, int y) {
  if (!window_) return;
  RECT r = rectInParent();
  MoveWindow(window_, std::max(x, 0), std::max(y, 0), r.right - r.left,
             r.bottom - r.top, TRUE);
  if (parent_) UpdateWindow(parent_);
}

void Control::resize(int w, int h) {
  if (!window_) return;
  RECT r = rectInParent();
  MoveWindow(window_, r.left, r.top, std::max(w, kMinimumSize),
             std::max(h, kMinimumSize), TRUE);
  if (parent_) UpdateWindow(parent_);
}

void Control::center() {
  if (!window_) return;
  HWND reference = (GetWindowLongA(window_, GWL_STYLE) & WS_CHILD)
                       ? GetParent(window_)
                       : GetDesktopWindow();
  RECT area = {0, 0, 0, 0};
  if (reference) GetClientRect(reference, &area);
  RECT own = rectInParent();
  int x = ((area.right - area.left) - (own.right - own.left)) / 2;
  int y = ((area.bottom - area.top) - (own.bottom - own.top)) / 2;
  move(x, y);
}

LONG Control::setExtendedStyle(LONG exStyle) {
  if (!window_) return 0;
  LONG old = SetWindowLongA(window_, GWL_EXSTYLE, exStyle);
  SetWindowPos(window_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  return old;
}

bool Control::startTimer(const char* name, UINT periodMs) {
  if (!name || !window_ || timerId(name) != -1) return false;
  int id = ++timerCounter_;
  if (!SetTimer(window_, static_cast<UINT_PTR>(id), periodMs, nullptr)) return false;
  timers_.push_back(NamedTimer{name, id});
  return true;
}

int Control::timerId(const char* name) const {
  if (!name) return -1;
  for (const NamedTimer& t : timers_)
    if (t.name == name) return t.id;
  return -1;
}

bool Control::stopTimer(const char* name) {
  if (!name) return false;
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->name == name) {
      int id = it->id;
      timers_.erase(it);
      return window_ && KillTimer(window_, static_cast<UINT_PTR>(id));
    }
  }
  return false;
}

void Control::setBackgroundColor(COLORREF color) {
  color_ = color;
  customColor_ = 1;
  storeUserData();
  refresh();
}

HBRUSH Control::backgroundBrush() {
  if (brush_ && brushColor_ == color_) return brush_;
  if (brush_) DeleteObject(brush_);
  brush_ = CreateSolidBrush(color_);
  brushColor_ = color_;
  return brush_;
}

// ------------------------------------------------------------ Form

INT_PTR CALLBACK VeltroDefaultFormProc(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) PostQuitMessage(0);
  return 0;
}

Form::Form(const char* caption, int x, int y, int w, int h, DWORD style,
           bool enabled, bool visible, bool maximized, bool minimized,
           bool centered, WindowRef parent, bool child, DWORD exStyle)
    : style_(style), exStyle_(exStyle) {
  procedure.Bind(this, &Form::getProcedure, &Form::setProcedure);
  icon.Bind(this, &Form::getIcon, &Form::setIcon);
  setParentWindow(parent.window);

  DWORD windowStyle = style;
  if (child) windowStyle &= ~static_cast<DWORD>(WS_POPUP);
  windowStyle |= WS_CLIPCHILDREN;
  if (child) windowStyle |= WS_CHILD;
  create(exStyle | kFormAddedExStyle, kDialogClass, "Form", windowStyle, x, y, w,
         h, nullptr);
  if (!window()) return;

  storeUserData();
  procedure_ = VeltroDefaultFormProc;
  SetWindowLongPtrA(window(), DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(procedure_));
  HICON system = LoadIconA(nullptr, IDI_APPLICATION);
  SendMessageA(window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(system));
  SendMessageA(window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(system));

  setCaption(caption);
  if (!enabled) disable();
  resize(w, h);
  move(x, y);
  if (centered) center();
  if (maximized) maximize();
  if (minimized) minimize();
  if (visible) show();
}

void Form::setProcedure(DLGPROC function) {
  procedure_ = function;
  if (!window()) return;
  storeUserData();
  SetWindowLongPtrA(window(), DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(function));
}

const Icon& Form::getIcon() const {
  static const Icon none;
  return icon_ ? *icon_ : none;
}

void Form::setIcon(const Icon& value) {
  icon_ = &value;
  if (!window()) return;
  SendMessageA(window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(value.handle()));
  SendMessageA(window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(value.handle()));
}

// ------------------------------------------------------------ ImageList

ImageList::ImageList(int sizeMode) {
  if (sizeMode == 0)
    size_ = GetSystemMetrics(SM_CXSMICON);
  else if (sizeMode == 1)
    size_ = 24;
  else
    size_ = GetSystemMetrics(SM_CXICON);
  list_ = ImageList_Create(size_, size_, ILC_COLOR8 | ILC_MASK, 0, 1000);
}

ImageList::~ImageList() {
  if (list_) ImageList_Destroy(list_);
}

int ImageList::addIcon(int resourceId) {
  if (!list_) return -1;
  HICON icon = LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(resourceId));
  if (!icon) return -1;
  return ImageList_ReplaceIcon(list_, -1, icon);
}

int ImageList::count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

// ------------------------------------------------------------ Toolbar

Toolbar::Toolbar(int identifier, WindowRef parent, int x, int y, bool enabled,
                 bool visible, bool flat, bool divider, DWORD exStyle) {
  wrapable.Bind(this, &Toolbar::getWrapable, &Toolbar::setWrapable);
  textLabels.Bind(this, &Toolbar::getTextLabels, &Toolbar::setTextLabels);
  setIdentifier(identifier);
  setParentWindow(parent.window);
  DWORD style = WS_CHILD | WS_TABSTOP |
                (divider ? kToolbarStyleDivider : kToolbarStyleNoDivider) |
                (flat ? TBSTYLE_FLAT : 0);
  create(exStyle, TOOLBARCLASSNAMEA, nullptr, style, x, y, 0, 0,
         reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)));
  if (!window()) return;
  SendMessageA(window(), TB_BUTTONSTRUCTSIZE, kToolbarButtonSize, 0);
  setDefaultFont();
  if (!enabled) disable();
  if (visible) show();
}

void Toolbar::setImageList(const ImageList& list) {
  if (!window()) return;
  SendMessageA(window(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list.handle()));
  SendMessageA(window(), TB_AUTOSIZE, 0, 0);
}

bool Toolbar::getWrapable() const {
  return window() && (GetWindowLongA(window(), GWL_STYLE) & TBSTYLE_WRAPABLE);
}

void Toolbar::setWrapable(bool on) {
  if (!window()) return;
  LONG style = GetWindowLongA(window(), GWL_STYLE);
  style = on ? (style | TBSTYLE_WRAPABLE) : (style & ~TBSTYLE_WRAPABLE);
  SetWindowLongA(window(), GWL_STYLE, style);
  SetWindowPos(window(), nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

bool Toolbar::addButton(const char* caption, int image, int command) {
  if (!window()) return false;
  TBBUTTON button;
  ZeroMemory(&button, sizeof button);
  button.iBitmap = image;
  button.idCommand = command;
  button.fsState = TBSTATE_ENABLED;
  button.fsStyle = TBSTYLE_BUTTON;
  button.iString = -1;
  if (textLabels_ && caption) {
    // TB_ADDSTRING takes a list of strings ended by an empty one.
    std::string list(caption);
    list.push_back('\0');
    list.push_back('\0');
    LRESULT index = SendMessageA(window(), TB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(list.data()));
    if (index >= 0) button.iString = index;
  }
  bool ok = SendMessageA(window(), TB_ADDBUTTONSA, 1,
                         reinterpret_cast<LPARAM>(&button)) != 0;
  SendMessageA(window(), TB_AUTOSIZE, 0, 0);
  return ok;
}

int Toolbar::buttonCount() const {
  return window() ? static_cast<int>(SendMessageA(window(), TB_BUTTONCOUNT, 0, 0)) : 0;
}

// ------------------------------------------------------------ CheckBox

CheckBox::CheckBox(const char* caption, int identifier, int x, int y, int w,
                   int h, WindowRef parent, bool isChecked, bool enabled,
                   bool visible, bool centered, DWORD exStyle) {
  checked.Bind(this, &CheckBox::getChecked, &CheckBox::setChecked);
  setIdentifier(identifier);
  setParentWindow(parent.window);
  create(exStyle, "BUTTON", "", kCheckBoxStyle, x, y, w, h,
         reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)));
  if (!window()) return;
  placeChild(caption, x, y, w, h, enabled, centered);
  if (isChecked) setChecked(true);
  if (visible) show();
}

bool CheckBox::getChecked() const {
  return window() && SendMessageA(window(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::setChecked(bool on) {
  if (window()) SendMessageA(window(), BM_SETCHECK, on ? 1 : 0, 0);
}

// ------------------------------------------------------------ Button

Button::Button(const char* caption, int identifier, int x, int y, int w, int h,
               WindowRef parent, bool enabled, bool visible, bool centered,
               bool isDefault, DWORD exStyle, bool hasIcon, const Icon* icon) {
  setIdentifier(identifier);
  setParentWindow(parent.window);
  DWORD style = kButtonStyle | (isDefault ? BS_DEFPUSHBUTTON : 0) | (hasIcon ? BS_ICON : 0);
  create(exStyle, "BUTTON", "Button", style, x, y, w, h,
         reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)));
  if (!window()) return;
  placeChild(caption, x, y, w, h, enabled, centered);
  if (hasIcon && icon && !icon->empty())
    SendMessageA(window(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon->handle()));
  if (visible) show();
  storeUserData();
}

// ------------------------------------------------------------ BmpBox

BmpBox::BmpBox(int identifier, int x, int y, int w, int h, WindowRef parent,
               const Bitmap& bitmap, bool visible, DWORD exStyle) {
  setIdentifier(identifier);
  setParentWindow(parent.window);
  create(exStyle, "STATIC", "", kBmpBoxStyle, x, y, w, h,
         reinterpret_cast<HMENU>(static_cast<INT_PTR>(identifier)));
  if (!window()) return;
  SetClassLongA(window(), GCL_STYLE, CS_HREDRAW | CS_VREDRAW);
  if (!bitmap.empty()) setBitmap(bitmap);
  if (visible) show();
}

BmpBox::~BmpBox() {
  if (!shown_) return;
  if (window() && IsWindow(window()))
    SendMessageA(window(), STM_SETIMAGE, IMAGE_BITMAP, 0);
  DeleteObject(shown_);
}

void BmpBox::setBitmap(const Bitmap& bitmap) {
  if (!window()) return;
  HBITMAP copy = bitmap.empty() ? nullptr
                                : static_cast<HBITMAP>(CopyImage(bitmap.handle(),
                                                                 IMAGE_BITMAP, 0, 0, 0));
  SendMessageA(window(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(copy));
  if (shown_) DeleteObject(shown_);
  shown_ = copy;
}
