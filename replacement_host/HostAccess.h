// The one way into the replacement host's bookkeeping on the host classes
// (identities, open counts, pass records, what a drawing reader sets up). The
// classes keep it private and name HostAccess their friend; the replacement
// host, the command and the tests reach it through these static forwards.
// The module never does: it sees only what host/ makes public.
#pragma once

#include "host/dbblkref.h"
#include "host/dbfield.h"
#include "host/dbmain.h"
#include "host/dbsymtb.h"
#include "host/dbtable.h"
#include "host/dbtext.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a file reader keeps with a drawing so that it can be written back
// the way it was read (the DXF writer's source).
struct AcDbHostFileSource {
    virtual ~AcDbHostFileSource() = default;
};

struct HostAccess {
    using PassRecord = AcDbField::PassRecord;
    using DynamicProperty = AcDbBlockReference::DynamicProperty;

    // Objects.
    static void hostSetIdentity(AcDbObject& o, AcDbDatabase* db, AcDbObjectId id, AcDbHandle handle)
    {
        o.hostSetIdentity(db, id, handle);
    }
    static void hostOpened(AcDbObject& o) { o.hostOpened(); }
    static int hostOpenCount(const AcDbObject& o) { return o.hostOpenCount(); }
    static void hostSetWrittenByOwner(AcDbObject& o, bool value) { o.hostSetWrittenByOwner(value); }
    static bool hostWrittenByOwner(const AcDbObject& o) { return o.hostWrittenByOwner(); }
    static void hostWishHandle(AcDbObject& o, AcDbHandle handle) { o.hostWishHandle(handle); }
    static void hostSetKeptKeys(AcDbObject& o, std::string json) { o.hostSetKeptKeys(std::move(json)); }
    static const std::string& hostKeptKeys(const AcDbObject& o) { return o.hostKeptKeys(); }
    static bool hostGetProperty(const AcDbObject& o, std::u16string_view name, AcValue& value)
    {
        return o.hostGetProperty(name, value);
    }

    // The database.
    static AcDbObject* objectAt(const AcDbDatabase& db, AcDbObjectId id) { return db.objectAt(id); }
    static const std::vector<AcDbObjectId>& hostFieldsAndTexts(const AcDbDatabase& db)
    {
        return db.hostFieldsAndTexts();
    }
    static int openObjectCount(const AcDbDatabase& db) { return db.openObjectCount(); }
    static void hostReserveHandlesThrough(AcDbDatabase& db, Adesk::UInt64 handle)
    {
        db.hostReserveHandlesThrough(handle);
    }
    static Acad::ErrorStatus hostRenumber(AcDbDatabase& db,
                                          const std::vector<std::pair<AcDbObjectId, AcDbHandle>>& moves)
    {
        return db.hostRenumber(moves);
    }
    static void hostReserveObjects(AcDbDatabase& db, size_t count) { db.hostReserveObjects(count); }
    static AcDbHostFileSource* hostFileSource(const AcDbDatabase& db) { return db.m_fileSource.get(); }
    static void hostSetFileSource(AcDbDatabase& db, std::unique_ptr<AcDbHostFileSource> source)
    {
        db.m_fileSource = std::move(source);
    }

    // Fields.
    static const std::map<AcString, AcValue>& allData(const AcDbField& f) { return f.allData(); }
    static std::u16string_view hostDisplayView(const AcDbField& f, AcString& storage)
    {
        return f.hostDisplayView(storage);
    }
    static std::string hostDisplayUtf8(const AcDbField& f) { return f.hostDisplayUtf8(); }
    static const PassRecord& passRecord(const AcDbField& f) { return f.m_pass; }
    // The value getValue copies, to read in place.
    static const AcValue& valueView(const AcDbField& f) { return f.m_value; }
    static PassRecord& hostPassRecord(AcDbField& f) { return f.m_pass; }
    static void hostSetResult(AcDbField& f, const AcValue* value, int status) { f.hostSetResult(value, status); }
    static void hostRestoreState(AcDbField& f, const AcValue& value, int status) { f.hostRestoreState(value, status); }
    static void hostSetFileDisplay(AcDbField& f, const AcString& text) { f.hostSetFileDisplay(text); }
    static bool hostHasFileDisplay(const AcDbField& f) { return f.hostHasFileDisplay(); }
    static void hostSetCode(AcDbField& f, std::u16string_view code, bool found = false) { f.hostSetCode(code, found); }
    static void hostSetKeepsStoredValue(AcDbField& f, bool keeps) { f.hostSetKeepsStoredValue(keeps); }
    static bool hostKeepsStoredValue(const AcDbField& f) { return f.hostKeepsStoredValue(); }

    // Block references and tables.
    static void hostAddAttribute(AcDbBlockReference& r, AcDbObjectId id) { r.hostAddAttribute(id); }
    static const std::vector<DynamicProperty>& hostDynamicProperties(const AcDbBlockReference& r)
    {
        return r.hostDynamicProperties();
    }
    static void hostSetDynamicProperties(AcDbBlockReference& r, std::vector<DynamicProperty> properties)
    {
        r.hostSetDynamicProperties(std::move(properties));
    }
    static void hostAddedToDatabase(AcDbBlockReference& r) { r.hostAddedToDatabase(); }
    static void hostSetCellText(AcDbTable& t, int row, int column, AcDbObjectId textId)
    {
        t.hostSetCellText(row, column, textId);
    }
    static const std::map<std::pair<int, int>, AcDbObjectId>& hostCells(const AcDbTable& t) { return t.hostCells(); }

    // Symbol tables.
    static void hostAddRecord(AcDbSymbolTable& t, AcDbObjectId id) { t.hostAddRecord(id); }
    static void hostRenameRecord(AcDbSymbolTable& t, AcDbObjectId id, const AcString& oldName, const AcString& newName)
    {
        t.hostRenameRecord(id, oldName, newName);
    }
    static void hostAddEntity(AcDbBlockTableRecord& b, AcDbObjectId id) { b.hostAddEntity(id); }
    // Room for a reader that knows about how many entities follow; room not
    // used is never touched.
    static void hostReserveEntities(AcDbBlockTableRecord& b, size_t count) { b.m_entities.reserve(count); }
    static void hostAddReference(AcDbBlockTableRecord& b, AcDbObjectId id) { b.hostAddReference(id); }
    static void hostRemoveReference(AcDbBlockTableRecord& b, AcDbObjectId id) { b.hostRemoveReference(id); }

    // Texts.
    static void hostAddField(AcDbText& t, AcDbObjectId id) { t.hostAddField(id); }
    static void hostSetFields(AcDbText& t, std::vector<AcDbObjectId> ids) { t.hostSetFields(std::move(ids)); }
    static void hostTakeContents(AcDbText& t, AcString text) { t.hostTakeContents(std::move(text)); }
    static const AcString& hostContents(const AcDbText& t) { return t.m_contents; }
    static void hostSetMakesOwnFields(AcDbText& t, bool value) { t.hostSetMakesOwnFields(value); }
};
