#pragma once

namespace vantrel {

class FormWindow;

// What a screen reader finds of the forms' windows through Qt's
// accessibility (on Linux the AT-SPI bus), while an object of this class
// lives:
//  - a form's window is a frame named by its caption, and its children are
//    the lines of text its surface shows, top to bottom, each a static text
//    named by its line;
//  - the application's top-level objects are its windows on screen, so a
//    form that is hidden (the scene, for good) is none of them; Qt's own
//    windows, the failure reports among them, keep their own interfaces.
// The children are read from the surface whenever a screen reader asks;
// it hears of lines that came or went through NoteShownTextsChanged.
//
// Create it before the first form's window: Qt keeps the interface it first
// made for an object.
class FormAccessibility {
public:
    FormAccessibility();
    ~FormAccessibility();
    FormAccessibility(const FormAccessibility&) = delete;
    FormAccessibility& operator=(const FormAccessibility&) = delete;

    // Tells a listening screen reader which lines of `window` went and which
    // came; does nothing while none listens.
    static void NoteShownTextsChanged(FormWindow& window);
};

} // namespace vantrel
