// The drawing file: what loads, what round-trips, and the one clear error
// line every bad file gets.
#include "host/dbfield.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/file/JsonIn.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {

std::string drawing(const std::string& objects, const std::string& extra = "")
{
    return "{\"tesslyDrawing\": 1" + extra + ", \"objects\": " + objects + "}";
}

TEST(DrawingFile, NewDrawingHasLayoutsAndLayerZero)
{
    auto r = drawingfile::loadFromText(drawing("[]"), "d.json");
    ASSERT_TRUE(r.database) << r.error;
    AcDbDatabase& db = *r.database;
    EXPECT_FALSE(db.modelSpaceId().isNull());
    EXPECT_FALSE(db.paperSpaceId().isNull());
    AcDbObjectPointer<AcDbBlockTableRecord> ms(db.modelSpaceId(), AcDb::kForRead);
    EXPECT_TRUE(ms->isLayout());
    EXPECT_FALSE(ms->isAnonymous());
}

TEST(DrawingFile, TextsWithCodesBecomeFieldsOwnedByTheText)
{
    auto r = drawingfile::loadFromText(
        drawing(
            R"([{"type": "text", "handle": "2A", "text": "L = %<\\AcLength Object(<2A>)>% and %<\\TsExpr %<\\AcArea Object(<2A>)>%*2>%"}])"),
        "d.json");
    ASSERT_TRUE(r.database) << r.error;
    AcDbDatabase& db = *r.database;
    AcDbObjectId textId;
    ASSERT_EQ(db.getAcDbObjectId(textId, false, AcDbHandle(0x2A)), Acad::eOk);
    auto* text = AcDbText::cast(HostAccess::objectAt(db, textId));
    ASSERT_EQ(text->fieldIds().size(), 2u);
    auto* second = AcDbField::cast(HostAccess::objectAt(db, text->fieldIds()[1]));
    EXPECT_EQ(second->ownerId(), textId);
    ASSERT_EQ(second->children().size(), 1u);
    EXPECT_EQ(second->children()[0]->ownerId(), second->objectId()) << "a nested field is owned by its parent";
    EXPECT_EQ(testhost::u8(second->parameters()), "%<\\AcArea Object(<2A>)>%*2");
}

TEST(DrawingFile, RoundTripKeepsEverythingTheHostHolds)
{
    const std::string original = drawing(R"([
        {"type": "layer", "handle": "10", "name": "A-NOTE"},
        {"type": "block", "handle": "11", "name": "Door"},
        {"type": "block", "handle": "12", "name": "*U1"},
        {"type": "text", "handle": "20", "layer": "A-NOTE", "position": [1, 2, 3], "height": 5,
         "text": "%<\\TsExpr %<\\AcLength Object(<20>)>% + 1 \\f \"%pr2\">%",
         "xdata": {"OTHER": "kept"},
         "fields": [{"handle": "30", "status": 2, "value": {"type": "real", "value": 2.5},
                     "data": {"TsExpr Data": {"type": "text", "value": "1 + 1"}},
                     "xdata": {"5922BCAD362F4a2f85F978E948CC606B": "12/8/2026 10:15:30 AM"},
                     "children": [{"handle": "31", "status": 64, "value": {"type": "integer", "value": -7}}]}]},
        {"type": "mtext", "handle": "21", "owner": "11", "text": "plain", "erased": true}
    ])");
    auto first = drawingfile::loadFromText(original, "a.json");
    ASSERT_TRUE(first.database) << first.error;
    std::string saved = drawingfile::toText(*first.database);
    auto second = drawingfile::loadFromText(saved, "b.json");
    ASSERT_TRUE(second.database) << second.error << "\n" << saved;
    EXPECT_EQ(drawingfile::toText(*second.database), saved);

    AcDbDatabase& db = *second.database;
    AcDbObjectId fieldId, childId, mtextId;
    ASSERT_EQ(db.getAcDbObjectId(fieldId, false, AcDbHandle(0x30)), Acad::eOk);
    ASSERT_EQ(db.getAcDbObjectId(childId, false, AcDbHandle(0x31)), Acad::eOk);
    ASSERT_EQ(db.getAcDbObjectId(mtextId, false, AcDbHandle(0x21)), Acad::eOk);
    auto* field = AcDbField::cast(HostAccess::objectAt(db, fieldId));
    EXPECT_EQ(field->evaluationStatus(), 2);
    EXPECT_EQ(testhost::u8(field->getValue()), "2.50") << "the format's precision";
    AcValue data;
    ASSERT_EQ(field->getData(u"TsExpr Data", &data), Acad::eOk);
    AcString text;
    data.get(text);
    EXPECT_EQ(testhost::u8(text), "1 + 1");
    AcString stamp;
    EXPECT_TRUE(field->getXdataText(u"5922BCAD362F4a2f85F978E948CC606B", stamp));
    EXPECT_EQ(AcDbField::cast(HostAccess::objectAt(db, childId))->evaluationStatus(), 64);
    EXPECT_TRUE(HostAccess::objectAt(db, mtextId)->isErased());
    EXPECT_EQ(AcDbEntity::cast(HostAccess::objectAt(db, field->ownerId()))->layerName(), u"A-NOTE");
}

TEST(DrawingFile, SelectedObjectRoundTrips)
{
    auto r = drawingfile::loadFromText(
        drawing(R"([{"type": "text", "handle": "2F1", "text": "x"}])", R"(, "selected": "2F1")"), "d");
    ASSERT_TRUE(r.database) << r.error;
    EXPECT_EQ(r.selected.handle(), AcDbHandle(0x2F1));
    EXPECT_NE(drawingfile::toText(*r.database, r.selected).find("\"selected\": \"2F1\""), std::string::npos);
}

TEST(DrawingFile, OwnersMayComeAfterWhatTheyOwn)
{
    auto r = drawingfile::loadFromText(drawing(R"([
        {"type": "text", "handle": "40", "owner": "41", "text": "in a block"},
        {"type": "block", "handle": "41", "name": "B"}])"),
                                       "d");
    ASSERT_TRUE(r.database) << r.error;
    AcDbObjectId blockId;
    r.database->getAcDbObjectId(blockId, false, AcDbHandle(0x41));
    AcDbObjectPointer<AcDbBlockTableRecord> block(blockId, AcDb::kForRead);
    EXPECT_EQ(block->entityIds().size(), 1u);
}

struct BadFile {
    const char* what;
    std::string text;
    const char* expected;  // a part of the error line
};

TEST(DrawingFile, BadFilesGetOneClearErrorLine)
{
    const BadFile rows[] = {
        {"malformed JSON", "{\"tesslyDrawing\": 1, \"objects\": [}", "bad.json: parse error at line 1, column 34"},
        {"not an object", "[1, 2]", "bad.json: a drawing must be a JSON object"},
        {"no version", "{\"objects\": []}", "\"tesslyDrawing\": 1 is missing"},
        {"other version", "{\"tesslyDrawing\": 7}", "must be 1"},
        {"objects not an array", drawing("{}"), "\"objects\" must be an array"},
        {"object not an object", drawing("[3]"), "objects[0]: must be a JSON object"},
        {"unknown type", drawing(R"([{"type": "spaceship", "handle": "A"}])"),
         "objects[0]: unknown object type \"spaceship\""},
        {"type not text", drawing(R"([{"type": 5, "handle": "A"}])"), "objects[0]: \"type\" must be a text"},
        {"no handle", drawing(R"([{"type": "text", "text": "x"}])"), "\"handle\" must be a handle"},
        {"handle not hex", drawing(R"([{"type": "text", "handle": "XYZ", "text": "x"}])"),
         "\"handle\" must be a handle"},
        {"handle zero", drawing(R"([{"type": "text", "handle": "0", "text": "x"}])"), "\"handle\" must be a handle"},
        {"reserved handle", drawing(R"([{"type": "text", "handle": "1", "text": "x"}])"), "handles 1 and 2 belong"},
        {"duplicate handle",
         drawing(R"([{"type": "text", "handle": "A", "text": "x"}, {"type": "text", "handle": "a", "text": "y"}])"),
         "objects[1] (text A): handle A is used by objects[0] too"},
        // Faults are told in the order of the objects, a repeated handle among them.
        {"duplicate handle before a later fault",
         drawing(
             R"([{"type": "text", "handle": "B", "text": "x"}, {"type": "text", "handle": "C", "text": "y"}, {"type": "text", "handle": "b", "text": "z"}, {"type": "ship", "handle": "D"}])"),
         "objects[2] (text B): handle B is used by objects[0] too"},
        {"fault before a later duplicate handle",
         drawing(
             R"([{"type": "text", "handle": "B", "text": "x"}, {"type": "ship", "handle": "C"}, {"type": "text", "handle": "B", "text": "z"}])"),
         "objects[1]: unknown object type \"ship\""},
        {"handle given three times, the earliest repeat told",
         drawing(
             R"([{"type": "text", "handle": "E", "text": "x"}, {"type": "text", "handle": "F", "text": "y"}, {"type": "text", "handle": "F", "text": "z"}, {"type": "text", "handle": "E", "text": "w"}, {"type": "text", "handle": "F", "text": "v"}])"),
         "objects[2] (text F): handle F is used by objects[1] too"},
        {"dangling owner", drawing(R"([{"type": "text", "handle": "A", "owner": "77", "text": "x"}])"),
         "objects[0] (text A): \"owner\" names handle 77, which no object has"},
        {"owner cycle",
         drawing(
             R"([{"type": "text", "handle": "A", "owner": "B", "text": "x"}, {"type": "text", "handle": "B", "owner": "A", "text": "y"}])"),
         "owners lead back to itself"},
        {"wrong type of key", drawing(R"([{"type": "text", "handle": "A", "text": 12}])"),
         "objects[0] (text A): \"text\" must be a text"},
        {"bad point", drawing(R"([{"type": "text", "handle": "A", "text": "x", "position": [1]}])"),
         "\"position\" must be a point"},
        {"empty layer", drawing(R"([{"type": "text", "handle": "A", "text": "x", "layer": ""}])"),
         "\"layer\" must not be empty"},
        {"fields do not match codes", drawing(R"([{"type": "text", "handle": "A", "text": "none", "fields": [{}]}])"),
         "\"fields\" has 1 entries, the text has 0 field codes"},
        {"field handle taken",
         drawing(R"([{"type": "text", "handle": "A", "text": "%<\\TsExpr 1>%", "fields": [{"handle": "A"}]}])"),
         "fields[0]: handle A is used by another object"},
        {"bad value type",
         drawing(
             R"([{"type": "text", "handle": "A", "text": "%<\\TsExpr 1>%", "fields": [{"value": {"type": "date"}}]}])"),
         "a value's \"type\" must be"},
        {"integer too large",
         drawing(
             R"([{"type": "text", "handle": "A", "text": "%<\\TsExpr 1>%", "fields": [{"value": {"type": "integer", "value": 5000000000}}]}])"),
         "must fit in 32 bits"},
        {"selected dangling", drawing("[]", R"(, "selected": "99")"), "\"selected\" names handle 99"},
        {"invalid UTF-8",
         std::string(
             "{\"tesslyDrawing\": 1, \"objects\": [{\"type\": \"text\", \"handle\": \"A\", \"text\": \"\xff\"}]}"),
         "bad.json: parse error"},
    };
    for (const BadFile& row : rows) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(row.text, "bad.json");
        EXPECT_FALSE(r.database);
        EXPECT_NE(r.error.find(row.expected), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << "one line";
        EXPECT_TRUE(r.error.starts_with("bad.json")) << r.error;
    }
}

// What the JSON text itself may hold: read as it always was, kept keys
// written back as they always were, and refused with the same words.
TEST(DrawingFile, JsonTextReadsAsItAlwaysHas)
{
    const std::string circle = R"({"type": "circle", "handle": "A", "center": [0, 0], )";
    const std::string deep = std::string(1000, '[') + std::string(1000, ']');
    std::string manyKeys;  // more than an object is searched through key by key
    for (int k = 1; k < 40; ++k)
        manyKeys += "\"k" + std::to_string(k) + "\": " + std::to_string(k) + ", ";
    const struct {
        const char* what;
        std::string text;
        const char* expected;  // a part of the saved file
    } read[] = {
        {"a key given twice: the last value, at the first place",
         drawing(R"([{"type": "text", "handle": "A", "text": "first", "mine": 1, "text": "last", "mine": [2]}])"),
         "\"layer\": \"0\",\n\t\t\t\"text\": \"last\""},
        {"a kept key given twice",
         drawing(R"([{"type": "point", "handle": "A", "position": [0, 0], "mine": 1, "mine": [2]}])"),
         "\"mine\": [\n\t\t\t\t2\n\t\t\t]"},
        {"an integer beyond 64 bits read as a real", drawing("[" + circle + R"("radius": 123456789012345678901234}])"),
         "\"radius\": 1.2345678901234569e+23"},
        {"integers beyond 64 bits kept as reals, the largest unsigned one whole",
         drawing("[" + circle +
                 R"("radius": 1, "n": [123456789012345678901234, -9223372036854775809, 18446744073709551615]}])"),
         "\"n\": [\n\t\t\t\t1.2345678901234569e+23,\n\t\t\t\t-9.223372036854776e+18,\n\t\t\t\t18446744073709551615\n"},
        {"a number below the smallest real is 0", drawing("[" + circle + R"("radius": 1, "n": -2.5e-400}])"),
         "\"n\": -0.0"},
        {"nesting within the limit kept", drawing("[" + circle + R"("radius": 1, "deep": )" + deep + "}]"),
         "\"deep\": [\n\t\t\t\t[\n"},
        {"many keys, one given twice: the last value, at the first place",
         drawing(R"([{"type": "point", "handle": "A", "position": [0, 0], "k0": 0, )" + manyKeys + R"("k0": "last"}])"),
         "\"k0\": \"last\",\n\t\t\t\"k1\": 1"},
        {"a byte order mark", "\xEF\xBB\xBF" + drawing(R"([{"type": "text", "handle": "A", "text": "x"}])"),
         "\"text\": \"x\""},
        {"anything after a zero byte",
         drawing(R"([{"type": "text", "handle": "A", "text": "x"}])") + std::string("\n\0j", 3), "\"text\": \"x\""},
        {"escapes in keys and values",
         drawing(R"([{"type": "text", "handle": "A", "t\u0065xt": "\u00e9\ud83d\ude00"}])"),
         "\"text\": \"\xC3\xA9\xF0\x9F\x98\x80\""},
    };
    for (const auto& row : read) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(row.text, "ok.json");
        ASSERT_TRUE(r.database) << r.error;
        std::string saved = drawingfile::toText(*r.database);
        EXPECT_NE(saved.find(row.expected), std::string::npos) << saved;
    }

    const struct {
        const char* what;
        std::string text;
        const char* expected;  // the whole error line
    } refused[] = {
        {"empty file", "",
         "bad.json: parse error at line 1, column 1: syntax error while parsing value - unexpected end "
         "of input; expected '[', '{', or a literal"},
        {"text after the drawing", drawing("[]") + " x",
         "bad.json: parse error at line 1, column 37: syntax error while parsing value - invalid literal; last read: "
         "'\"objects\": []} x'; expected end of input"},
        {"a second drawing", drawing("[]") + drawing("[]"),
         "bad.json: parse error at line 1, column 36: syntax error while parsing value - unexpected '{'; expected end "
         "of input"},
        {"invalid UTF-8 in a kept key", drawing("[" + circle + "\"radius\": 1, \"n\": \"\xC0\xAF\"}]"),
         "bad.json: parse error at line 1, column 105: syntax error while parsing value - invalid string: ill-formed "
         "UTF-8 byte; last read: '\"\xC0'"},
        {"a lone surrogate", drawing(R"([{"type": "text", "handle": "A", "text": "\udc00"}])"),
         "bad.json: parse error at line 1, column 80: syntax error while parsing value - invalid string: surrogate "
         "U+DC00..U+DFFF must follow U+D800..U+DBFF; last read: '\"\\udc00'"},
        {"a real beyond the largest, read", drawing("[" + circle + R"("radius": 1e400}])"),
         "bad.json: [json.exception.out_of_range.406] number overflow parsing '1e400'"},
        {"a real beyond the largest, kept", drawing("[" + circle + R"("radius": 1, "n": -1e400}])"),
         "bad.json: [json.exception.out_of_range.406] number overflow parsing '-1e400'"},
        {"a whole number beyond 64 bits where one is read",
         drawing(R"([{"type": "table", "handle": "A", "rows": 123456789012345678901234}])"),
         "bad.json: objects[0] (table A): \"rows\" must be a whole number"},
        {"nesting beyond the limit",
         drawing("[" + circle + R"("radius": 1, "deep": )" + std::string(1100, '[') + std::string(1100, ']') + "}]"),
         "bad.json: arrays and objects are nested more than 1024 deep"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(row.text, "bad.json");
        EXPECT_FALSE(r.database);
        EXPECT_EQ(r.error, row.expected);
    }
}

// A key is looked up through what one walk over the object learnt: which
// keys it may have and whether any repeats. Keys that share that walk's
// mark, keys given twice far into a long object, and keys asked again all
// read as a search of every member would.
TEST(DrawingFile, KeysReadAsASearchOfEveryMemberWould)
{
    // A kept key that the walk marks as it marks the key given.
    auto twinOf = [](std::string_view key) {
        for (int k = 0;; ++k)
            // In steps: GCC 12's -O3 misreads a literal + string (-Wrestrict).
            if (std::string twin = std::string(1, 'k').append(std::to_string(k));
                drawingfile::keyBit(twin) == drawingfile::keyBit(key))
                return twin;
    };
    auto keys = [](int from, int to) {
        std::string out;
        for (int k = from; k < to; ++k)
            out.append("\"k").append(std::to_string(k)).append("\": ").append(std::to_string(k)).append(", ");
        return out;
    };
    const std::string textTwin = twinOf("text"), layerTwin = twinOf("layer");
    const struct {
        const char* what;
        std::string objects;
        std::vector<std::string> expected;  // parts of the saved file
    } read[] = {
        {"a kept key marked as a read one, before it",
         R"([{"type": "text", "handle": "A", ")" + textTwin + R"(": 1, "text": "x"}])",
         {"\"text\": \"x\"", "\"" + textTwin + "\": 1"}},
        {"a read key absent, a kept key marked as it present",
         R"([{"type": "point", "handle": "A", "position": [0, 0], ")" + layerTwin + R"(": 2}])",
         {"\"layer\": \"0\"", "\"" + layerTwin + "\": 2"}},
        {"a read key given twice, 40 keys apart",
         R"([{"type": "text", "handle": "A", "text": "first", )" + keys(0, 40) + R"("text": "last"}])",
         {"\"text\": \"last\"", "\"k39\": 39"}},
        {"a read key given twice, past the 64th key",
         R"([{"type": "text", "handle": "A", )" + keys(0, 70) + R"("text": "first", "layer": "L", "text": "last"}])",
         {"\"layer\": \"L\"", "\"text\": \"last\"", "\"k69\": 69"}},
        {"a kept key given twice past the 64th key",
         R"([{"type": "point", "handle": "A", "position": [0, 0], )" + keys(0, 70) + R"("k66": "last"}])",
         {"\"k65\": 65,\n\t\t\t\"k66\": \"last\",\n\t\t\t\"k67\": 67"}},
        {"a zero ends a text and what follows is no field",
         R"([{"type": "mtext", "handle": "A", "text": "a\u0000%<\\AcVar x>%"}])",
         {"\"text\": \"a\","}},
        {"runs of one layer, then another, then the first again",
         R"([{"type": "point", "handle": "A", "layer": "P", "position": [0, 0]},
             {"type": "point", "handle": "B", "layer": "P", "position": [1, 0]},
             {"type": "point", "handle": "C", "layer": "Q", "position": [2, 0]},
             {"type": "point", "handle": "D", "layer": "P", "position": [3, 0]}])",
         {"\"handle\": \"B\",\n\t\t\t\"owner\": \"", "\"layer\": \"Q\"", "\"name\": \"P\"", "\"name\": \"Q\""}},
    };
    for (const auto& row : read) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(drawing(row.objects), "ok.json");
        ASSERT_TRUE(r.database) << r.error;
        const std::string saved = drawingfile::toText(*r.database);
        for (const std::string& part : row.expected)
            EXPECT_NE(saved.find(part), std::string::npos) << part << " in " << saved;
    }
    // Each point keeps the layer it names.
    auto layered = drawingfile::loadFromText(drawing(read[6].objects), "ok.json");
    ASSERT_TRUE(layered.database) << layered.error;
    const auto saved = nlohmann::ordered_json::parse(drawingfile::toText(*layered.database));
    std::string layers;
    for (const auto& o : saved["objects"])
        if (o["type"] == "point")
            layers += o["layer"].get<std::string>();
    EXPECT_EQ(layers, "PPQP");

    const struct {
        const char* what;
        std::string objects;
        const char* expected;  // the whole error line
    } refused[] = {
        {"an empty layer after a run of one",
         R"([{"type": "point", "handle": "A", "layer": "P", "position": [0, 0]},
             {"type": "point", "handle": "B", "layer": "", "position": [1, 0]}])",
         "bad.json: objects[1] (point B): \"layer\" must not be empty"},
        {"a layer that is no text after a run of one",
         R"([{"type": "point", "handle": "A", "layer": "P", "position": [0, 0]},
             {"type": "point", "handle": "B", "layer": 7, "position": [1, 0]}])",
         "bad.json: objects[1] (point B): \"layer\" must be a text"},
        {"a text that is no text, given twice", R"([{"type": "text", "handle": "A", "text": "x", "text": 1}])",
         "bad.json: objects[0] (text A): \"text\" must be a text"},
        {"an unknown kind after a run of a known one",
         R"([{"type": "point", "handle": "A", "position": [0, 0]}, {"type": "pointy", "handle": "B"}])",
         "bad.json: objects[1]: unknown object type \"pointy\""},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(drawing(row.objects), "bad.json");
        EXPECT_FALSE(r.database);
        EXPECT_EQ(r.error, row.expected);
    }
}

// Former bugs.

// Saving an object of many kept keys searched the written keys once per kept
// one (80,000 keys: 19 s). Every key still goes back, in its order, after
// the keys the codec writes, and a written key is not given twice.
TEST(DrawingFileFormerBugs, ManyKeptKeysSaveInTheirOrder)
{
    std::string keys;
    std::vector<std::string> kept;
    for (int k = 0; k < 3000; ++k) {
        kept.push_back(std::string("k").append(std::to_string(k)));
        keys.append(", \"").append(kept.back()).append("\": ").append(std::to_string(k));
    }
    auto r = drawingfile::loadFromText(
        drawing(R"([{"type": "point", "handle": "A", "position": [1, 2])" + keys + R"(, "k7": "again"}])"), "ok.json");
    ASSERT_TRUE(r.database) << r.error;
    const auto saved = nlohmann::ordered_json::parse(drawingfile::toText(*r.database));
    const auto& objects = saved["objects"];
    auto point = std::find_if(objects.begin(), objects.end(), [](const auto& o) { return o["type"] == "point"; });
    ASSERT_NE(point, objects.end());
    std::vector<std::string> names;
    for (const auto& member : point->items())
        names.push_back(member.key());
    const std::vector<std::string> written{"type", "handle", "owner", "layer", "position"};
    ASSERT_EQ(names.size(), written.size() + 3000u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5), written);
    for (int k = 0; k < 3000; ++k)
        ASSERT_EQ(names[written.size() + static_cast<size_t>(k)], kept[static_cast<size_t>(k)]);
    EXPECT_EQ((*point)["k7"], "again");
    EXPECT_EQ((*point)["k2999"], 2999);
}

// Loading from a file reads the text straight into the parser's buffer.
TEST(DrawingFile, LoadsFromAFileAsFromText)
{
    auto dir = std::filesystem::temp_directory_path() / ("tessly-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "d.json").string();
    std::ofstream(path, std::ios::binary)
        << "\xEF\xBB\xBF" << drawing(R"([{"type": "text", "handle": "A", "text": "x", "note": 1}])");
    auto r = drawingfile::load(path);
    ASSERT_TRUE(r.database) << r.error;
    EXPECT_NE(drawingfile::toText(*r.database).find("\"note\": 1"), std::string::npos);
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();  // now empty
    EXPECT_EQ(drawingfile::load(path).error,
              path +
                  ": parse error at line 1, column 1: syntax error while parsing value - "
                  "unexpected end of input; expected '[', '{', or a literal");
    std::filesystem::remove_all(dir);
}

// A file whose size is not known in advance (a pipe) is read to its end,
// however long, as a file is.
TEST(DrawingFile, LoadsFromAPipe)
{
    auto dir = std::filesystem::temp_directory_path() / ("tessly-pipe-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "pipe.json").string();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::string objects = "[";
    for (int i = 0; i < 3000; ++i)
        objects += (i ? ", " : "") + std::string(R"({"type": "text", "handle": ")") + std::to_string(100 + i) +
            R"(", "text": "%<\\TsExpr 1>%"})";
    const std::string text = drawing(objects + "]");
    std::thread writer([&] { std::ofstream(path, std::ios::binary) << text; });
    auto r = drawingfile::load(path);
    writer.join();
    ASSERT_TRUE(r.database) << r.error;
    EXPECT_EQ(drawingfile::toText(*r.database), drawingfile::toText(*drawingfile::loadFromText(text, "x").database));
    std::filesystem::remove_all(dir);
}

// Handles the reader makes up (a table's block, fields without saved state,
// cells without a handle) go above every handle in the file, those saved
// for fields and cells included, so a valid file is never refused.
TEST(DrawingFile, MadeUpHandlesTakeNoneTheFileGives)
{
    const struct {
        const char* what;
        std::string objects;
        const char* handle;  // saved deep in the file
    } rows[] = {
        {"table block, later cell", R"([{"type": "table", "handle": "10", "rows": 1, "columns": 1},
            {"type": "table", "handle": "11", "rows": 1, "columns": 1, "cells": [{"row": 0, "column": 0, "text": "x", "handle": "12"}]}])",
         "12"},
        {"new field, later saved field", R"([{"type": "text", "handle": "10", "text": "%<\\TsExpr 1>%"},
            {"type": "text", "handle": "11", "text": "%<\\TsExpr 2>%", "fields": [{"handle": "12"}]}])",
         "12"},
        {"nested saved field", R"([{"type": "text", "handle": "10", "text": "%<\\TsExpr 1>%"},
            {"type": "text", "handle": "11", "text": "%<\\TsExpr %<\\TsExpr 2>%>%", "fields": [{"handle": "13", "children": [{"handle": "12"}]}]}])",
         "12"},
        {"cell without handle, field of a later cell", R"([
            {"type": "table", "handle": "10", "rows": 1, "columns": 2, "cells": [{"row": 0, "column": 0, "text": "x"},
                {"row": 0, "column": 1, "text": "%<\\TsExpr 1>%", "handle": "11", "fields": [{"handle": "12"}]}]}])",
         "12"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto r = drawingfile::loadFromText(drawing(row.objects), "made-up.json");
        ASSERT_TRUE(r.database) << r.error;
        AcDbObjectId id;
        ASSERT_EQ(r.database->getAcDbObjectId(id, false, AcDbHandle(std::stoull(row.handle, nullptr, 16))), Acad::eOk);
        AcDbObject* obj = HostAccess::objectAt(*r.database, id);
        EXPECT_TRUE(AcDbField::cast(obj) || AcDbText::cast(obj)) << "not a block the reader made";
    }
}

TEST(DrawingFile, SaveReplacesTheFileWhole)
{
    auto dir = std::filesystem::temp_directory_path() / ("tessly-save-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto path = (dir / "d.json").string();
    auto r = drawingfile::loadFromText(drawing(R"([{"type": "text", "handle": "A", "text": "x"}])"), "d");
    ASSERT_TRUE(r.database);
    EXPECT_EQ(drawingfile::save(*r.database, path), "");
    auto back = drawingfile::load(path);
    ASSERT_TRUE(back.database) << back.error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file left";

    // A folder in place of the file: the save fails and says why.
    auto blocked = (dir / "sub").string();
    std::filesystem::create_directories(dir / "sub" / "x");
    std::string error = drawingfile::save(*r.database, blocked);
    EXPECT_NE(error.find("is a folder, not a drawing file; nothing was written"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub" / "x"));
    std::filesystem::remove_all(dir);
}

TEST(DrawingFile, MissingFileNamesThePath)
{
    auto r = drawingfile::load("/nonexistent/plan.json");
    EXPECT_FALSE(r.database);
    EXPECT_EQ(r.error, "/nonexistent/plan.json: cannot open: No such file or directory");
}

}
