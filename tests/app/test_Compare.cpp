// SPDX-License-Identifier: MIT
// "Tools": comparing the window's configuration with a file, and the choice of resending
// the registers when the adapter returns.
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>

#include "BitLabel.h"
#include "CompareItems.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"
#include "session/ConfigDiff.h"

namespace apptest {
namespace {

class CompareTest : public WindowTest {
  protected:
    CompareItems* items() const { return control<ToolsMenu>("Tools1")->findChild<CompareItems*>(); }
    QString save(const QString& name, const zvk::Config& c) {
        const QString path = dir.path() + "/" + name;
        EXPECT_FALSE(zvk::saveConfig(path.toStdString(), c, zvk::titleText()).has_value());
        return path;
    }
    QStringList listed() const {
        QStringList v;
        for (int i = 0; i < items()->dialog()->list()->count(); ++i)
            v << items()->dialog()->list()->item(i)->text();
        return v;
    }
    // The bits the bit view outlines, as masks.
    zvk::RegisterImage outlined() const {
        zvk::RegisterImage m{};
        for (int r = 0; r < 8; ++r)
            for (int b = 0; b < 12; ++b)
                if (bitLabel(size_t(r), size_t(b))->isOutlined())
                    m[size_t(r)] = uint16_t(m[size_t(r)] | (1u << b));
        return m;
    }
};

TEST_F(CompareTest, ListsTheDifferencesAndOutlinesTheirBitsUntilTheNextChange) {
    start();
    ASSERT_NE(items(), nullptr);
    const zvk::Config now = form->session().currentConfig();

    ASSERT_EQ(items()->compareWith(save("same.cfg", now)), std::nullopt);
    EXPECT_TRUE(items()->dialog()->isVisible());
    EXPECT_TRUE(listed().isEmpty()) << listed().join('\n').toStdString();
    EXPECT_TRUE(items()->dialog()->summary()->text().contains("same"));
    EXPECT_EQ(outlined(), zvk::RegisterImage{});

    zvk::Config other = now;
    const zvk::Field& cpcur = zvk::field("CPCUR");
    zvk::setFieldValue(other.regs, cpcur, (zvk::fieldValue(now.regs, cpcur) + 1) % 4);
    other.fxtal = now.fxtal + 1;
    ASSERT_EQ(items()->compareWith(save("other.cfg", other)), std::nullopt);
    const QStringList lines = listed();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith("CPCUR  ")) << lines.first().toStdString();
    EXPECT_TRUE(lines.filter(QRegularExpression("^fXtal  ")).size() == 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(outlined(), zvk::differingBits(now.regs, other.regs));
    EXPECT_NE(outlined(), zvk::RegisterImage{});

    // Any change of the image ends the outline.
    choose(control<QComboBox>("CB_OPMODE"),
           (zvk::fieldValue(now.regs, zvk::field("OPMODE")) + 1) % 4);
    QApplication::processEvents();
    EXPECT_EQ(outlined(), zvk::RegisterImage{});

    const auto error = items()->compareWith(dir.path() + "/missing.cfg");
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains("missing.cfg")) << error->toStdString();
}

// The list names a field's values as its control shows them: the item of a list or radio
// group, a check box's state; numbers where the control is a number.
TEST_F(CompareTest, FieldsAreListedByTheNamesTheirControlsShow) {
    start();
    const zvk::Config now = form->session().currentConfig();
    zvk::Config other = now;
    zvk::setFieldValue(other.regs, zvk::field("OPMODE"), 1);
    zvk::setFieldValue(other.regs, zvk::field("SHOWLD"), 0);
    zvk::setFieldValue(other.regs, zvk::field("AGCEN"), 1);
    zvk::setFieldValue(other.regs, zvk::field("R"), 125);
    ASSERT_EQ(zvk::fieldValue(now.regs, zvk::field("OPMODE")), 0u);
    ASSERT_EQ(items()->compareWith(save("other.cfg", other)), std::nullopt);
    const QStringList lines = listed();
    for (const char* line :
         {"OPMODE  Shutdown (0) -> Receive (1)", "SHOWLD  Lock Detect (1) -> RSSI Low Flag (0)",
          "AGCEN  unchecked (0) -> checked (1)", "R  75 -> 125"})
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line << "\n"
                                                         << lines.join('\n').toStdString();
}

TEST_F(CompareTest, TheResendChoiceIsKeptInTheSettingsFile) {
    for (const bool on : {true, false}) {
        start();
        ASSERT_NE(items(), nullptr);
        emit control<ToolsMenu>("Tools1")->aboutToShow();
        EXPECT_EQ(items()->ResendOnReturn1->isChecked(), !on) << "as the last run left it";
        items()->ResendOnReturn1->setChecked(on);
        EXPECT_EQ(form->session().adapterReturn().resend, on);
        form->close();
        form.reset();
        EXPECT_EQ(zvk::readSettings(settingsPath()).resendOnReturn, on);
    }
}

}  // namespace
}  // namespace apptest
