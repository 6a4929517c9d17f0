#pragma once
// What assistive technology (a screen reader) finds in the main window, with nothing drawn
// differently: the window as a frame; each command panel as a button named after its picture
// ("Abrir", "Converter", "Sair") that it can press, disabled while a run is under way; the
// gauge as a named progress bar with its percentage (its description, announced as it changes);
// the labels with their text; the path field, read-only, labelled by the caption above it; and
// the message boxes as alerts, their text their description.

namespace accessibility {

// Installs the interfaces for the window's own kinds of widget (once per process).
void install();

} // namespace accessibility
