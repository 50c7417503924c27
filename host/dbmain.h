// The drawing database as the module sees it: objects with ids, handles and
// owners, opened for read with a class check and closed in the same scope.
#pragma once

#include "host/adesk.h"
#include "host/AcString.h"
#include "host/AcValue.h"
#include "host/dbid.h"
#include "host/rxobject.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class AcDbBlockTable;
class AcDbLayerTable;
class AcDbField;
namespace hostdb {
class HandleTable;
}

namespace AcDb {
enum OpenMode : int {
    kNotOpen = -1,   // not open
    kForRead = 0,    // open for reading
    kForWrite = 1,   // open for writing
    kForNotify = 2,  // open for notification
};
}

class AcDbObject : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcDbObject)
public:
    AcDbObject();
    ~AcDbObject() override;
    AcDbObject(const AcDbObject&) = delete;
    AcDbObject& operator=(const AcDbObject&) = delete;
    // Objects come from the host's own pool: drawings hold many small ones.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    AcDbObjectId objectId() const { return m_id; }
    AcDbObjectId ownerId() const { return m_ownerId; }
    Acad::ErrorStatus setOwnerId(AcDbObjectId owner);
    AcDbDatabase* database() const { return m_database; }
    AcDbHandle objectHandle() const { return m_handle; }
    void getAcDbHandle(AcDbHandle& handle) const { handle = m_handle; }

    bool isErased() const { return m_erased; }
    Acad::ErrorStatus erase(bool erasing = true);
    bool isReadEnabled() const { return m_openCount > 0; }
    // Ends one open; objects that belong to no database are not closed.
    Acad::ErrorStatus close();

    // Extended data: one text per application name, saved with the drawing.
    const std::map<AcString, AcString>& xdata() const;
    void setXdataText(const AcString& appName, AcString text);
    bool getXdataText(const AcString& appName, AcString& text) const;

    // Called once the object is in a database, for objects that make others
    // (a text makes the fields of its contents).
    virtual void subAddedToDatabase() {}

protected:
    // A named property as the host's object-property field reads it; false
    // when the object has no such property.
    virtual bool hostGetProperty(std::u16string_view name, AcValue& value) const;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    void hostSetIdentity(AcDbDatabase* db, AcDbObjectId id, AcDbHandle handle);
    void hostOpened() { ++m_openCount; }
    // Objects that their owner writes into the drawing file (a table's cell texts).
    void hostSetWrittenByOwner(bool value) { m_writtenByOwner = value; }
    bool hostWrittenByOwner() const { return m_writtenByOwner; }
    // The handle to take when added to a database.
    void hostWishHandle(AcDbHandle handle)
    {
        if (!m_database)
            m_handle = handle;
    }
    int hostOpenCount() const { return m_openCount; }
    // What the drawing file held for the object that this host does not
    // read (a JSON object's text), written back as it was.
    void hostSetKeptKeys(std::string json);
    const std::string& hostKeptKeys() const;

    AcDbDatabase* m_database = nullptr;
    AcDbObjectId m_id;
    AcDbObjectId m_ownerId;
    AcDbHandle m_handle;
    bool m_erased = false;
    bool m_writtenByOwner = false;
    int m_openCount = 0;
    // What few objects have (extended data, kept keys) is kept apart, so a
    // drawing of many plain entities stays small.
    struct Extra;
    std::unique_ptr<Extra> m_extra;
};

struct AcGePoint3d;
class AcDbExtents;

class AcDbEntity : public AcDbObject {
    ACRX_DECLARE_MEMBERS(AcDbEntity)
public:
    // A copy of the layer name, freed with acutDelBuffer.
    ACHAR* layer() const;
    const AcString& layerName() const { return *m_layer; }
    Acad::ErrorStatus setLayer(const ACHAR* name);
    // Geometric extents; entities without geometry give eInvalidExtents.
    virtual Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const;

private:
    // Names are shared: most entities of a drawing stand on a few layers.
    static const AcString* layerZero();
    const AcString* m_layer = layerZero();
};

// Curves: every curve answers an area query, with 0 where it encloses none.
class AcDbCurve : public AcDbEntity {
    ACRX_DECLARE_MEMBERS(AcDbCurve)
public:
    virtual Acad::ErrorStatus getArea(double& area) const;
    // The length along the curve, as the host's property field shows it.
    virtual Acad::ErrorStatus getLength(double& length) const;
};

// What a file reader keeps with a drawing (the replacement host's own).
struct AcDbHostFileSource;

class AcDbDatabase {
public:
    // A new drawing has a block table with model space and one paper-space
    // layout and a layer table with layer "0"; the drawing reader asks for
    // the tables alone and adds what the file lacks.
    explicit AcDbDatabase(bool buildDefaultDrawing = true);
    ~AcDbDatabase();
    void addMissingDefaults();
    AcDbDatabase(const AcDbDatabase&) = delete;
    AcDbDatabase& operator=(const AcDbDatabase&) = delete;

    // The path the drawing was read from or last saved to; empty if none.
    Acad::ErrorStatus getFilename(const ACHAR*& fileName) const;
    void setFilename(const std::u16string& fileName) { m_filename = fileName; }

    Acad::ErrorStatus getSymbolTable(AcDbBlockTable*& table, AcDb::OpenMode mode);
    Acad::ErrorStatus getSymbolTable(AcDbLayerTable*& table, AcDb::OpenMode mode);
    AcDbObjectId blockTableId() const { return m_blockTableId; }
    AcDbObjectId layerTableId() const { return m_layerTableId; }
    AcDbObjectId modelSpaceId() const;
    AcDbObjectId paperSpaceId() const;

    // Handle lookup; createIfNotFound is not supported by this host.
    Acad::ErrorStatus getAcDbObjectId(AcDbObjectId& id, bool createIfNotFound, const AcDbHandle& handle,
                                      Adesk::UInt32 xRefId = 0) const;

    // Takes ownership on success. A null handle means the handle the object
    // was given before (hostWishHandle), else the next free one. A handle in
    // use gives eDuplicateKey and the caller keeps the object.
    Acad::ErrorStatus addObject(AcDbObject* object, AcDbObjectId owner, AcDbObjectId& id,
                                AcDbHandle handle = AcDbHandle());
    // Every object in the order it was added.
    const std::vector<AcDbObjectId>& objectIds() const { return m_order; }
    Adesk::UInt64 handseed() const { return m_nextHandle; }

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    AcDbObject* objectAt(AcDbObjectId id) const;
    // The fields and texts among the objects, in the same order: what a pass
    // over a drawing's fields looks at, without touching every object.
    const std::vector<AcDbObjectId>& hostFieldsAndTexts() const { return m_fieldsAndTexts; }
    void hostReserveHandlesThrough(Adesk::UInt64 handle)
    {
        if (handle >= m_nextHandle)
            m_nextHandle = handle + 1;
    }
    // Gives objects of this drawing other handles, all at once (a reader's
    // made-up handles, once the file's own are known). eDuplicateKey, and no
    // change, when a new handle is null, given twice, or kept by an object
    // that does not move.
    Acad::ErrorStatus hostRenumber(const std::vector<std::pair<AcDbObjectId, AcDbHandle>>& moves);
    // Objects that are open and not yet closed; a lookup that forgets to close shows here.
    int openObjectCount() const;
    // Room for this many objects in all, so a reader that knows about how
    // many follow does not grow the tables one step at a time.
    void hostReserveObjects(size_t count);

    // Handle to the object's place in m_order.
    bool findHandle(Adesk::UInt64 handle, std::uint32_t& index) const;
    bool handleTaken(Adesk::UInt64 handle) const;

    std::u16string m_filename;
    // Owned: every object in the order it was added, found by id through
    // the host's id table.
    std::vector<AcDbObjectId> m_order;
    std::vector<AcDbObjectId> m_fieldsAndTexts;
    std::unique_ptr<hostdb::HandleTable> m_handles;
    Adesk::UInt64 m_nextHandle = 1;
    AcDbObjectId m_blockTableId;
    AcDbObjectId m_layerTableId;
    std::unique_ptr<AcDbHostFileSource> m_fileSource;
};

// Opens an object for read (the only mode the module uses); with a class, an
// object of another class gives eWrongObjectType. Erased objects open only when
// asked for. Every successful open is ended with close().
Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& object, AcDbObjectId id, AcDb::OpenMode mode, bool openErased = false,
                                     const AcRxClass* cls = nullptr);

template <class T>
Acad::ErrorStatus acdbOpenObject(T*& object, AcDbObjectId id, AcDb::OpenMode mode, bool openErased = false)
{
    AcDbObject* obj = nullptr;
    // A class's descriptor never changes: asked once, not across the
    // library boundary on every open.
    static const AcRxClass* const cls = T::desc();
    Acad::ErrorStatus es = acdbOpenAcDbObject(obj, id, mode, openErased, cls);
    object = es == Acad::eOk ? static_cast<T*>(obj) : nullptr;
    return es;
}

// Holds an object open for the scope of the holder.
template <class T> class AcDbObjectPointer {
public:
    AcDbObjectPointer() = default;
    AcDbObjectPointer(AcDbObjectId id, AcDb::OpenMode mode, bool openErased = false)
    {
        m_status = acdbOpenObject(m_object, id, mode, openErased);
    }
    ~AcDbObjectPointer() { close(); }
    AcDbObjectPointer(const AcDbObjectPointer&) = delete;
    AcDbObjectPointer& operator=(const AcDbObjectPointer&) = delete;

    Acad::ErrorStatus openStatus() const { return m_status; }
    Acad::ErrorStatus open(AcDbObjectId id, AcDb::OpenMode mode, bool openErased = false)
    {
        close();
        m_status = acdbOpenObject(m_object, id, mode, openErased);
        return m_status;
    }
    Acad::ErrorStatus close()
    {
        if (!m_object)
            return Acad::eNullObjectId;
        Acad::ErrorStatus es = m_object->close();
        m_object = nullptr;
        m_status = Acad::eNullObjectId;
        return es;
    }
    T* object() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
    Acad::ErrorStatus m_status = Acad::eNullObjectId;
};

// Block table records are symbol table records; the host gives them a holder
// of their own name.
template <class T> using AcDbSymbolTableRecordPointer = AcDbObjectPointer<T>;
