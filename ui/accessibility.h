#pragma once
// What assistive technology (a screen reader) finds in the main window, with nothing drawn
// differently: the window as a frame; each command panel as a button named after its picture
// ("Abrir", "Converter", "Sair") that it can press, disabled while a run is under way; the
// gauge as a named progress bar with its value, least and most (announced as its percentage
// changes, which is its value text and description); the labels with their text, a run of
// blanks read as one (the status line's changes announced); the path field, read-only,
// labelled by the caption above it; and the message boxes as alerts, their text their
// description.

namespace accessibility {

// Installs the interfaces for the window's own kinds of widget (once per process).
void install();

} // namespace accessibility
