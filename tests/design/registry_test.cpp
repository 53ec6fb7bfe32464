// The design registry as Register fills it: the palette page, creating components by class
// name, the component editor of a component, the property editors of properties, and the
// palette bitmaps.
#include <gtest/gtest.h>

#include <memory>

#include "tovrin5/design/DesignRegistry.h"
#include "tovrin5/design/PaletteImages.h"
#include "tovrin5/design/SybConnectEditor.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/TovrinAbout.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using design::DesignRegistry;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        DesignRegistry().Clear();
        Register();
    }
    void TearDown() override { DesignRegistry().Clear(); }
};

/// The classes Register puts on the palette page, in order.
const std::vector<std::string> kPaletteClasses{"TSybConnect", "TSybQuery"};

std::vector<std::string> names(const std::vector<design::TComponentClass>& classes) {
    std::vector<std::string> result;
    for (const auto& c : classes) {
        result.push_back(c.Name);
    }
    return result;
}

TEST_F(RegistryTest, PalettePageHoldsTheComponentsInOrderAndRegisteringAgainAddsNothing) {
    EXPECT_EQ(DesignRegistry().Pages(), std::vector<std::string>{"Tovrin"});
    const std::vector<std::string>& expected = kPaletteClasses;
    EXPECT_EQ(names(DesignRegistry().PageComponents("Tovrin")), expected);
    EXPECT_EQ(names(DesignRegistry().PageComponents("tovrin")), expected);
    EXPECT_TRUE(DesignRegistry().PageComponents("Data Access").empty());

    Register();
    EXPECT_EQ(DesignRegistry().Pages(), std::vector<std::string>{"Tovrin"});
    EXPECT_EQ(names(DesignRegistry().PageComponents("Tovrin")), expected);
    EXPECT_EQ(DesignRegistry().PageOf(kPaletteClasses.back()), "Tovrin");
    EXPECT_EQ(DesignRegistry().PageOf("TComponent"), "");
}

TEST_F(RegistryTest, CreatesEveryPaletteClassByNameOwnedByTheOwner) {
    host::TComponent form(nullptr);
    for (const auto& cls : DesignRegistry().PageComponents("Tovrin")) {
        host::TComponent* created = DesignRegistry().CreateComponent(cls.Name, &form);
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->ClassName(), cls.Name);
        EXPECT_EQ(created->Owner(), &form);
        EXPECT_TRUE(cls.IsInstance(created));
        // Component streaming can create the class by the same name.
        EXPECT_TRUE(host::IsClassRegistered(cls.Name));
    }
    const int palette = static_cast<int>(kPaletteClasses.size());
    EXPECT_EQ(form.ComponentCount(), palette);
    auto* byOtherCase = DesignRegistry().CreateComponent("tsybconnect", &form);
    EXPECT_NE(dynamic_cast<TSybConnect*>(byOtherCase), nullptr);

    try {
        (void)DesignRegistry().CreateComponent("TSybTable", &form);
        FAIL() << "an unregistered class was created";
    } catch (const host::EClassNotFound& e) {
        EXPECT_EQ(e.Message(), "Class TSybTable not found");
    }
    EXPECT_EQ(form.ComponentCount(), palette + 1);
}

TEST_F(RegistryTest, ConnectionGetsItsEditorOtherComponentsTheDefaultOne) {
    TSybConnect connection(nullptr);
    EXPECT_TRUE(DesignRegistry().HasComponentEditor(&connection));
    auto editor = DesignRegistry().GetComponentEditor(&connection);
    ASSERT_NE(dynamic_cast<TSybConnectEditor*>(editor.get()), nullptr);
    EXPECT_EQ(editor->Component(), &connection);

    TSybQuery query(nullptr);
    EXPECT_FALSE(DesignRegistry().HasComponentEditor(&query));
    EXPECT_EQ(DesignRegistry().GetComponentEditor(&query)->GetVerbCount(), 0);

    host::TComponent plain(nullptr);
    EXPECT_FALSE(DesignRegistry().HasComponentEditor(&plain));
    auto fallback = DesignRegistry().GetComponentEditor(&plain);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(dynamic_cast<TSybConnectEditor*>(fallback.get()), nullptr);
    EXPECT_EQ(fallback->GetVerbCount(), 0);
    fallback->Edit(); // no verb: nothing to run

    DesignRegistry().Clear();
    EXPECT_FALSE(DesignRegistry().HasComponentEditor(&connection));
}

TEST_F(RegistryTest, AboutPropertiesOfEveryComponentGetTheAboutEditor) {
    host::TComponent form(nullptr);
    for (const auto& cls : DesignRegistry().PageComponents("Tovrin")) {
        host::TComponent* component = DesignRegistry().CreateComponent(cls.Name, &form);
        auto editor = DesignRegistry().GetPropertyEditor(component, "About");
        ASSERT_NE(editor, nullptr) << cls.Name;
        EXPECT_NE(dynamic_cast<TAboutProperty*>(editor.get()), nullptr) << cls.Name;
        EXPECT_EQ(editor->Prop().typeName, "TTovrinAbout");
        EXPECT_EQ(editor->GetValue(), "About...");
        EXPECT_EQ(editor->GetAttributes(),
                  design::TPropertyAttributes({design::paDialog, design::paReadOnly}));
        // The value is always nil: the property holds no object.
        ASSERT_TRUE(editor->Prop().getObject);
        EXPECT_EQ(editor->Prop().getObject(component), nullptr);
        // Nothing typed is accepted.
        EXPECT_THROW(editor->SetValue("x"), host::Exception);
    }
    // A property of another type gets the generic editor.
    auto serverName = DesignRegistry().GetPropertyEditor(form.Components(0), "ServerName");
    ASSERT_NE(serverName, nullptr);
    EXPECT_EQ(dynamic_cast<TAboutProperty*>(serverName.get()), nullptr);
    EXPECT_EQ(DesignRegistry().GetPropertyEditor(form.Components(0), "NoSuchProperty"), nullptr);
}

TEST_F(RegistryTest, AboutIsNeverWrittenToAStoredForm) {
    host::TComponent form(nullptr);
    form.SetName("Form1");
    auto* connection = new TSybConnect(&form);
    connection->SetName("Connect1");
    connection->SetPassword("secret");
    const std::string text = host::ComponentToText(&form);
    EXPECT_NE(text.find("object Connect1: TSybConnect"), std::string::npos) << text;
    EXPECT_EQ(text.find("About"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
}

// A property editor registered for one property name of one class wins over the generic
// registration of its type; an editor for another class does not apply.
class NamedEditor : public design::TPropertyEditor {
public:
    using design::TPropertyEditor::TPropertyEditor;
    std::string GetValue() override { return "named"; }
};
class ClassEditor : public design::TPropertyEditor {
public:
    using design::TPropertyEditor::TPropertyEditor;
    std::string GetValue() override { return "class"; }
};

TEST_F(RegistryTest, MostSpecificPropertyEditorWins) {
    auto& registry = DesignRegistry();
    const auto connectClass = design::ComponentClassOf<TSybConnect>("TSybConnect");
    registry.RegisterPropertyEditor("string", connectClass, "ServerName",
                                    design::PropertyEditorOf<NamedEditor>());
    registry.RegisterPropertyEditor("string", connectClass, "",
                                    design::PropertyEditorOf<ClassEditor>());
    registry.RegisterPropertyEditor("string",
                                    design::ComponentClassOf<host::TComponent>("TComponent"),
                                    "UserName", design::PropertyEditorOf<NamedEditor>());
    TSybConnect connection(nullptr);
    EXPECT_EQ(registry.GetPropertyEditor(&connection, "ServerName")->GetValue(), "named");
    EXPECT_EQ(registry.GetPropertyEditor(&connection, "servername")->GetValue(), "named");
    EXPECT_EQ(registry.GetPropertyEditor(&connection, "Database")->GetValue(), "class");
    EXPECT_EQ(registry.GetPropertyEditor(&connection, "UserName")->GetValue(), "named");
    // Integer properties have no registration here: the generic editor shows the value.
    EXPECT_EQ(registry.GetPropertyEditor(&connection, "LoginTimeout")->GetValue(), "60");

    // The registrations for the connection's class do not reach a query's string property.
    TSybQuery query(nullptr);
    auto databaseName = registry.GetPropertyEditor(&query, "DatabaseName");
    ASSERT_NE(databaseName, nullptr);
    EXPECT_EQ(dynamic_cast<ClassEditor*>(databaseName.get()), nullptr);
    EXPECT_EQ(dynamic_cast<NamedEditor*>(databaseName.get()), nullptr);

    // A property whose type has no registration gets the generic editor.
    host::TComponent plain(nullptr);
    plain.SetTag(7);
    auto tagEditor = registry.GetPropertyEditor(&plain, "Tag");
    ASSERT_NE(tagEditor, nullptr);
    EXPECT_EQ(tagEditor->GetValue(), "7");
}

// The generic editor converts text for the property's type, refuses text that does not
// fit without touching the value, and tells the designer of each change.
struct CountingDesigner : design::TDesigner {
    int modified = 0;
    void Modified() override { ++modified; }
};

TEST_F(RegistryTest, GenericEditorConvertsAndRejectsText) {
    TSybConnect connection(nullptr);
    CountingDesigner designer;
    auto timeout = DesignRegistry().GetPropertyEditor(&connection, "LoginTimeout", &designer);
    timeout->SetValue(" 15 ");
    EXPECT_EQ(connection.LoginTimeout(), 15);
    EXPECT_THROW(timeout->SetValue("fifteen"), host::EConvertError);
    EXPECT_THROW(timeout->SetValue("99999999999"), host::EConvertError);
    EXPECT_EQ(connection.LoginTimeout(), 15);
    EXPECT_EQ(designer.modified, 1);

    auto connected = DesignRegistry().GetPropertyEditor(&connection, "Connected", &designer);
    EXPECT_EQ(connected->GetValue(), "False");
    EXPECT_TRUE(connected->GetAttributes().Contains(design::paValueList));
    std::vector<std::string> values;
    connected->GetValues([&](const std::string& v) { values.push_back(v); });
    EXPECT_EQ(values, (std::vector<std::string>{"False", "True"}));
    EXPECT_THROW(connected->SetValue("maybe"), host::EConvertError);

    auto server = DesignRegistry().GetPropertyEditor(&connection, "ServerName", &designer);
    EXPECT_FALSE(server->GetAttributes().Contains(design::paReadOnly));
    server->SetValue("OPEN");
    EXPECT_EQ(connection.ServerName(), "OPEN");
    EXPECT_EQ(designer.modified, 2);
}

TEST(PaletteImages, EachComponentHasA24By24EightBitImageUnderItsUpperCaseName) {
    DesignRegistry().Clear();
    Register();
    // Every class on the page finds its image under its upper-case name.
    for (const auto& cls : DesignRegistry().PageComponents("Tovrin")) {
        EXPECT_FALSE(design::FindBitmapResource(cls.BitmapName()).empty()) << cls.Name;
    }
    std::vector<std::vector<uint8_t>> pixels;
    for (const std::string name : {"TSYBCONNECT", "TSYBQUERY"}) {
        SCOPED_TRACE(name);
        const auto data = design::FindBitmapResource(name);
        ASSERT_FALSE(data.empty());
        const design::TBitmap bitmap = design::DecodeBitmap(data);
        EXPECT_EQ(bitmap.Width, 24);
        EXPECT_EQ(bitmap.Height, 24);
        EXPECT_EQ(bitmap.BitsPerPixel, 8);
        EXPECT_EQ(bitmap.Pixels.size(), 24u * 24u);
        // A drawing, not a blank: a good part of the pixels differ from the background.
        const uint32_t background = bitmap.TransparentColor();
        int drawn = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                drawn += bitmap.ColorAt(x, y) != background ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 24 * 24 / 4);
        pixels.push_back(bitmap.Pixels);
    }
    EXPECT_NE(pixels[0], pixels[1]);
    EXPECT_EQ(design::BitmapResourceNames(),
              (std::vector<std::string>{"TSYBCONNECT", "TSYBQUERY"}));
    EXPECT_TRUE(design::FindBitmapResource("TSybQuery").size() > 0);
    EXPECT_TRUE(design::FindBitmapResource("TSYBTABLE").empty());
    DesignRegistry().Clear();
}

TEST(PaletteImages, DamagedBitmapsAreRefused) {
    const auto good = design::FindBitmapResource("TSYBCONNECT");
    ASSERT_FALSE(good.empty());
    std::vector<unsigned char> data(good.begin(), good.end());

    auto refused = [](std::vector<unsigned char> bytes) {
        try {
            (void)design::DecodeBitmap(bytes);
        } catch (const host::Exception& e) {
            return e.Message() == "Invalid bitmap";
        }
        return false;
    };
    EXPECT_TRUE(refused({data.begin(), data.begin() + 100})); // cut in the palette
    EXPECT_TRUE(refused({data.begin(), data.end() - 1}));     // last row short
    auto badMagic = data;
    badMagic[0] = 'X';
    EXPECT_TRUE(refused(badMagic));
    auto otherDepth = data;
    otherDepth[28] = 24;
    EXPECT_TRUE(refused(otherDepth));
    auto compressed = data;
    compressed[30] = 1;
    EXPECT_TRUE(refused(compressed));
    auto hugeWidth = data;
    hugeWidth[21] = 0x7f;
    EXPECT_TRUE(refused(hugeWidth));
    EXPECT_FALSE(refused(data));
}

} // namespace
