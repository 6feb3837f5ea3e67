// Both programs' start-up (tabel and tabel-batch call the same function): the
// plant's Russian whatever the environment. The suite itself runs with
// LC_ALL=C.UTF-8, as a scheduler or a bare session would start a program.
#include "app/language.h"

#include <QCoreApplication>
#include <QDate>
#include <QLocale>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

// Puts back the locale and the translations of the test program.
class StartupTest : public ::testing::Test {
protected:
    void TearDown() override {
        QLocale::setDefault(before);
        if (qtTexts) {
            QCoreApplication::removeTranslator(qtTexts);
            delete qtTexts;
        }
    }
    const QLocale before;
    QTranslator* qtTexts = nullptr;
};

TEST_F(StartupTest, DatesNumbersAndQtsOwnDialogsAreRussian) {
    ASSERT_EQ(QLocale().decimalPoint(), ".") << "the suite's environment is not Russian";
    qtTexts = tabel::speakRussian(*QCoreApplication::instance());

    const QLocale locale;
    const QDate day(2026, 11, 1);
    EXPECT_EQ(locale.toString(day, QLocale::ShortFormat), "01.11.2026");
    EXPECT_EQ(locale.toString(day, "d MMMM yyyy"), "1 ноября 2026");
    EXPECT_EQ(locale.standaloneMonthName(11), "ноябрь");
    EXPECT_EQ(locale.toString(4.5, 'f', 2), "4,50");

    ASSERT_NE(qtTexts, nullptr) << "qt6-translations-l10n is not installed";
    QPrinter printer;
    QPrintPreviewDialog preview(&printer);
    EXPECT_EQ(preview.windowTitle(), "Просмотр печати");
    QStringList actions;
    for (const QToolBar* bar : preview.findChildren<QToolBar*>())
        for (const QAction* a : bar->actions())
            actions << a->text();
    EXPECT_TRUE(actions.contains("Следующая страница")) << actions.join(", ").toStdString();
    EXPECT_TRUE(actions.contains("Печать")) << actions.join(", ").toStdString();
    QPrintDialog print(&printer);
    EXPECT_EQ(print.windowTitle(), "Печать");
}

} // namespace
