#pragma once
// What assistive technology (a screen reader) finds in the main window, with nothing drawn
// differently: each command panel as a button named after its picture ("Abrir", "Converter",
// "Sair") that it can press, the gauge with its value and range, the labels with their text,
// and the path field labelled by the caption above it.

namespace accessibility {

// Installs the interfaces for the window's own kinds of widget (once per process).
void install();

} // namespace accessibility
