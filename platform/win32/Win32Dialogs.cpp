// Dialogs on Windows run on the system's dialog manager. The module's own
// templates are resources of the module (DialogBoxParam finds them); a
// template held as data is laid out in memory as the dialog manager reads an
// extended dialog template, and run from there.
#include <cstring>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/Win.h"

namespace plat {
namespace {

class TemplateWriter {
 public:
  void Word(WORD w) { Bytes(&w, sizeof w); }
  void Dword(DWORD d) { Bytes(&d, sizeof d); }
  void Short(short s) { Bytes(&s, sizeof s); }
  // An 8-bit text as the dialog manager's wide text; the templates' texts
  // are ASCII.
  void Text(const char* text) {
    for (const char* c = text ? text : ""; *c; ++c) Word(static_cast<unsigned char>(*c));
    Word(0);
  }
  void AlignDword() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  const void* Data() const { return bytes_.data(); }

 private:
  void Bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<unsigned char> bytes_;
};

}  // namespace

// The module's templates are its dialog resources here: the lookup that
// resources/ registers when the module loads is not needed.
void RegisterDialogTemplates(DialogTemplateLookup) {}

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* t, HWND owner,
                               DLGPROC proc, LPARAM param) {
  TemplateWriter w;
  const bool font = t->fontName && t->fontName[0];
  w.Word(1);       // version
  w.Word(0xFFFF);  // extended template
  w.Dword(0);      // help id
  w.Dword(0);      // extended style
  w.Dword(t->style | (font ? DS_SETFONT : 0));
  w.Word(static_cast<WORD>(t->controlCount));
  w.Short(0);
  w.Short(0);
  w.Short(t->cx);
  w.Short(t->cy);
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(t->caption);
  if (font) {
    w.Word(static_cast<WORD>(t->pointSize));
    w.Word(FW_NORMAL);
    w.Word(0);  // not italic, default character set
    w.Text(t->fontName);
  }
  for (int i = 0; i < t->controlCount; ++i) {
    const DialogControlTemplate& c = t->controls[i];
    w.AlignDword();
    w.Dword(0);  // help id
    w.Dword(0);  // extended style
    w.Dword(c.style);
    w.Short(c.x);
    w.Short(c.y);
    w.Short(c.cx);
    w.Short(c.cy);
    w.Dword(static_cast<DWORD>(c.id));
    w.Text(c.className);
    w.Text(c.text);
    w.Word(0);  // no creation data
  }
  return ::DialogBoxIndirectParamA(instance, static_cast<LPCDLGTEMPLATE>(w.Data()), owner, proc,
                                   param);
}

}  // namespace plat
