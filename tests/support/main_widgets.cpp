#include "tests/support/main_widgets.h"

#include "app/main_form.h"
#include "tests/support/gui_actions.h"

#include <stdexcept>

namespace testsupport {

template <class Widget> Widget* find(app::TMainForm* form, const char* name) {
    auto* found = form->findChild<Widget*>(QString::fromLatin1(name));
    if (!found)
        throw std::logic_error(std::string("no widget named ") + name);
    return found;
}

MainWidgets::MainWidgets(app::TMainForm* form) : form(form) {}

void showWorkPage(app::TMainForm* form, bool encode, const QString& directory, const QString& out) {
    const MainWidgets w = ui(form);
    if (!out.isEmpty())
        (encode ? w.encout : w.decout)->setText(out);
    form->showPage(encode ? "Encode (wav 2 mp3)" : "Decode (mp3 2 wav)");
    if (!(encode ? w.encdirlist : w.decdirlist)->setDirectory(directory))
        throw std::runtime_error("can't browse " + directory.toStdString());
}

void queueAll(app::TMainForm* form) {
    const MainWidgets w = ui(form);
    const bool encode = w.MainBoard->currentIndex() == app::TMainForm::kEncodePage;
    (encode ? w.encflist : w.decflist)->selectAll();
    click(encode ? w.encFileadd : w.decFileadd);
}

} // namespace testsupport
