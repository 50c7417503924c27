// Symbol tables: the block table with its records (model space, paper-space
// layouts, named and anonymous blocks, external references) and the layer
// table. Records are found by name or walked with an iterator.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

#include <string_view>
#include <unordered_map>
#include <vector>

class AcDbSymbolTableRecord : public AcDbObject {
    ACRX_DECLARE_MEMBERS(AcDbSymbolTableRecord)
public:
    Acad::ErrorStatus getName(const ACHAR*& name) const
    {
        name = m_name.c_str();
        return Acad::eOk;
    }
    Acad::ErrorStatus getName(AcString& name) const
    {
        name = m_name;
        return Acad::eOk;
    }
    const AcString& name() const { return m_name; }
    Acad::ErrorStatus setName(const ACHAR* name);

private:
    AcString m_name;
};

class AcDbSymbolTableIterator {
public:
    explicit AcDbSymbolTableIterator(std::vector<AcDbObjectId> ids, bool skipErased);
    virtual ~AcDbSymbolTableIterator() = default;
    bool done() const;
    void step(bool forward = true, bool skipErased = true);
    AcDbObjectId objectId() const;

protected:
    void skip();
    std::vector<AcDbObjectId> m_ids;
    size_t m_pos = 0;
    bool m_skipErased = true;
};

class AcDbSymbolTable : public AcDbObject {
    ACRX_DECLARE_MEMBERS(AcDbSymbolTable)
public:
    Acad::ErrorStatus getAt(const ACHAR* name, AcDbObjectId& id, bool getErased = false) const;
    bool has(const ACHAR* name) const;
    // Records in the order they were added.
    const std::vector<AcDbObjectId>& recordIds() const { return m_records; }

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    void hostAddRecord(AcDbObjectId id);
    // A record of this table took a new name.
    void hostRenameRecord(AcDbObjectId id, const AcString& oldName, const AcString& newName);

    std::vector<AcDbObjectId> m_records;
    // Records by name, each list in the order the records were added, so a
    // lookup is constant time whatever the size of the table.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
    };
    std::unordered_map<std::u16string, std::vector<AcDbObjectId>, NameHash, std::equal_to<>> m_byName;
};

class AcDbBlockTableRecord;
class AcDbBlockTableIterator : public AcDbSymbolTableIterator {
public:
    using AcDbSymbolTableIterator::AcDbSymbolTableIterator;
    Acad::ErrorStatus getRecord(AcDbBlockTableRecord*& record, AcDb::OpenMode mode, bool openErased = false) const;
    Acad::ErrorStatus getRecordId(AcDbObjectId& id) const
    {
        id = objectId();
        return id.isNull() ? Acad::eInvalidInput : Acad::eOk;
    }
};

class AcDbBlockTable : public AcDbSymbolTable {
    ACRX_DECLARE_MEMBERS(AcDbBlockTable)
public:
    Acad::ErrorStatus newIterator(AcDbBlockTableIterator*& iterator, bool atBeginning = true,
                                  bool skipDeleted = true) const;
};

class AcDbBlockTableRecord : public AcDbSymbolTableRecord {
    ACRX_DECLARE_MEMBERS(AcDbBlockTableRecord)
public:
    // Names the host gives its layout blocks.
    static constexpr const ACHAR* kModelSpace = u"*Model_Space";
    static constexpr const ACHAR* kPaperSpace = u"*Paper_Space";

    bool isLayout() const { return m_isLayout; }
    // Anonymous: the name begins with "*" and the record is no layout.
    bool isAnonymous() const;
    bool isFromExternalReference() const { return !m_xrefPath.empty(); }
    bool isFromOverlayReference() const { return m_isOverlay; }
    bool isUnloaded() const { return m_isUnloaded; }
    const AcString& pathName() const { return m_xrefPath; }

    void setIsLayout(bool value) { m_isLayout = value; }
    void setXref(const AcString& path, bool overlay, bool unloaded)
    {
        m_xrefPath = path;
        m_isOverlay = overlay;
        m_isUnloaded = unloaded;
    }
    // The id of the dynamic block this record is an anonymous copy of; null if none.
    AcDbObjectId dynamicBlockId() const { return m_dynamicBlockId; }
    void setDynamicBlockId(AcDbObjectId id) { m_dynamicBlockId = id; }
    bool isDynamicBlock() const { return m_isDynamic; }
    void setIsDynamicBlock(bool value) { m_isDynamic = value; }

    // The base point: the point of the definition placed at a reference's position.
    AcGePoint3d origin() const { return m_origin; }
    void setOrigin(const AcGePoint3d& origin) { m_origin = origin; }

    // Entities of the block in drawing order.
    const std::vector<AcDbObjectId>& entityIds() const { return m_entities; }

    // References of this block: direct only, or also the references of every
    // block that holds this one, at any depth.
    Acad::ErrorStatus getBlockReferenceIds(std::vector<AcDbObjectId>& ids, bool directOnly = true,
                                           bool forceValidity = false) const;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    void hostAddEntity(AcDbObjectId id) { m_entities.push_back(id); }
    // The references of this block in its drawing, erased ones included,
    // kept in the order they were added to the drawing.
    void hostAddReference(AcDbObjectId id);
    void hostRemoveReference(AcDbObjectId id);

    bool m_isLayout = false;
    bool m_isOverlay = false;
    bool m_isUnloaded = false;
    bool m_isDynamic = false;
    AcString m_xrefPath;
    AcGePoint3d m_origin;
    AcDbObjectId m_dynamicBlockId;
    std::vector<AcDbObjectId> m_entities;
    std::vector<AcDbObjectId> m_references;
};

class AcDbLayerTable : public AcDbSymbolTable {
    ACRX_DECLARE_MEMBERS(AcDbLayerTable)
};

class AcDbLayerTableRecord : public AcDbSymbolTableRecord {
    ACRX_DECLARE_MEMBERS(AcDbLayerTableRecord)
};
