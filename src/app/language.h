#pragma once

class QCoreApplication;
class QTranslator;

namespace tabel {

// Both programs speak the plant's Russian whatever environment starts them: a
// scheduler often starts tabel-batch with no LANG at all, and Qt would then
// write dates with English month names and numbers with a decimal point.
// Called once, right after the application object is made: makes the Russian
// locale everyone's default (dates, month names, the decimal comma) and
// installs Qt's own Russian texts (the print preview and print dialog, the
// standard buttons) when they are installed on the machine
// (qt6-translations-l10n). Returns those texts' translator, owned by `app`,
// or nullptr when they are missing and Qt's dialogs stay in English.
QTranslator* speakRussian(QCoreApplication& app);

} // namespace tabel
