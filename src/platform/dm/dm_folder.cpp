// Folders and profiles of the emulated DM API. One object serves as a folder and as its profile;
// its columns, trustees and parent folders are read from and written to the library's tables,
// where the system's own SQL finds them afterwards.
//
// Choices a real DM leaves open, as made here:
// - A column's value is what the form shows: a look-up column shows the looked-up text (the
//   author's USER_ID, not PEOPLE.SYSTEM_ID). A field the database holds as NULL reads as empty
//   text (0 for a numeric field), as a profile form shows it; a value set to Null stays Null
//   until the save, which stores NULL.
// - Save writes at once; the save flags are accepted and do not change what is written.
// - A new folder's application is always FOLDER; author and typist default to the logged-on
//   user; its document number and all its rows' ids come from the library's key sequences.
// - ACTIVITYLOG types written for a new folder: 45 folder created, 46 profile saved, 47 first
//   version created.
// - Filing (AddDocument, AddSubfolder) writes the FOLDER_ITEM row at once; the parent's save
//   afterwards has nothing left to write. The row that the item's own library keeps for a
//   filing in another library's folder is the system's to write (its filing and its sort), not
//   the DM object's.
#include <algorithm>
#include <set>
#include <tuple>

#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_schema.h"

namespace sw::dm {

namespace {

// Error numbers the emulated objects report.
constexpr qint64 ErrNotFound = 0x80040E10;
constexpr qint64 ErrInvalidValue = 0x80040E21;
constexpr qint64 ErrProtected = 0x80040E22;
constexpr qint64 ErrDatabase = 0x80040E14;
constexpr qint64 ErrNotSaved = 0x80040E30;
constexpr qint64 ErrAlreadyFiled = 0x80040E31;
constexpr qint64 ErrTooLong = 0x80040E57;

// PROFILE.DOCNAME holds 240 characters, as in a DM library; a longer name is refused, as the
// database refuses it, rather than cut where nobody asked.
constexpr int DocNameLength = 240;

struct FieldDef {
  QString name;
  QString profileColumn;  // upper case
  QString lookupTable;
  QString lookupColumn;
  int typeCode = 1;
  bool isProtected = false;
  // Finds a look-up row by its text; built once with the layout, as every new folder asks it.
  HashedText lookupSql{QString()};
  // Finds it by its text as read: a stored text that is no UTF-8 reads, and is copied, with
  // U+FFFD in place of its stray bytes, which the Oracle kind's byte-wise comparison would
  // not match again. The SQL Server kind's collation compares texts so decoded already.
  QString DecodedLookupSql() const {
    return QStringLiteral("SELECT SYSTEM_ID FROM %1 WHERE sw_decoded(%2) = ? COLLATE NOCASE")
        .arg(QuotedName(lookupTable), QuotedName(lookupColumn));
  }
  bool IsLookup() const { return !lookupTable.isEmpty() && !lookupColumn.isEmpty(); }
  bool IsNumeric() const { return typeCode == 4; }
  bool Writable() const { return !isProtected || typeCode == 128; }
};

// Where one of a profile's values comes from in the row that reads them: a field of the
// layout, or the name or description the statement reads first.
struct ValueSource {
  static constexpr int DocName = -1;
  static constexpr int Abstract = -2;
  QString column;  // the PROFILE column, upper case
  int field = DocName;
};

// A form's fields and the statement that reads a profile's values in them.
struct FormLayout {
  std::shared_ptr<const std::vector<FieldDef>> fields;  // shared by every profile of the form
  // Reads a profile's values and, after them, the facts that choose its layout (OpenFacts):
  // every read of a profile of the form is this one statement, so that a read that comes again
  // before anything changed (the load after a save, the next open of the same profile) is
  // answered by the kept reads. Hashed once.
  HashedText valuesSql{QString()};
  // One source a column, in the order of the columns; of fields on one column, the last.
  std::shared_ptr<const std::vector<ValueSource>> sources;
};

// A profile's values by PROFILE column (upper case), in one block kept in the order of the
// columns: a profile is opened several times a folder, and a tree would allocate a node a value.
class ProfileValues {
 public:
  using Item = std::pair<QString, QVariant>;

 private:
  template <class Items>
  static auto LowerBound(Items& items, const QString& column) {
    return std::lower_bound(items.begin(), items.end(), column, [](const Item& i, const QString& c) { return i.first < c; });
  }

 public:
  const QVariant* Find(const QString& column) const {
    const auto it = LowerBound(items_, column);
    return it != items_.end() && it->first == column ? &it->second : nullptr;
  }
  QVariant& operator[](const QString& column) {
    auto it = LowerBound(items_, column);
    if (it == items_.end() || it->first != column) it = items_.insert(it, Item{column, QVariant()});
    return it->second;
  }
  // Takes the values of columns given in order.
  void Assign(std::vector<Item>&& inOrder) { items_ = std::move(inOrder); }

 private:
  std::vector<Item> items_;
};

}  // namespace

// The state one folder or profile object and its columns share.
struct EmProfileData {
  EmLibraryPtr library;
  SqliteDbPtr db;
  bool isFolder = false;
  bool isNew = true;
  qint64 docNumber = 0;
  qint64 systemId = 0;
  qint64 formId = 0;
  QString formName;
  bool usable = true;  // the profile's form exists
  std::shared_ptr<const std::vector<FieldDef>> fields;  // its form's, shared
  HashedText valuesSql{QString()};  // reads the values in these fields (FormLayout::valuesSql)
  // The row they were last read from, and the change stamp of PROFILE then: a stored column the
  // row holds is answered from it while the stamp stands.
  QVariantList row;
  std::optional<quint64> rowStamp;
  // The row's value of the PROFILE column, while PROFILE has not changed since it was read;
  // null when the row does not hold the column or it may have changed.
  const QVariant* RowValue(const QString& column) const;
  const std::vector<FieldDef>& Fields() const {
    static const std::vector<FieldDef> none;
    return fields ? *fields : none;
  }
  std::shared_ptr<const std::vector<ValueSource>> sources;  // its form's, shared
  const std::vector<ValueSource>& Sources() const {
    static const std::vector<ValueSource> none;
    return sources ? *sources : none;
  }
  ProfileValues values;
  std::set<QString> dirty;
  std::optional<bool> pendingPublic;

  // The ids that look-up texts resolved to since the last save: a save does not look up again
  // what IsValid already found. By table, column and text.
  std::map<std::tuple<QString, QString, QString>, QVariant> lookedUp;

  QVariant Get(const QString& column) const {
    const QVariant* v = values.Find(column);
    return v ? *v : QVariant(QString());
  }
  // The id of the look-up table's row whose look-up column holds the text; null when none does.
  QVariant LookUp(const FieldDef& f, const QString& text) {
    const auto key = std::make_tuple(f.lookupTable, f.lookupColumn, text);
    auto it = lookedUp.find(key);
    if (it != lookedUp.end()) return it->second;
    SqliteResult r = db->Read(f.lookupSql, {text});
    if (r.ok && r.rows.isEmpty() && text.contains(QChar::ReplacementCharacter)) r = db->Read(f.DecodedLookupSql(), {text});
    return lookedUp[key] = r.ok ? r.Value(0, 0) : QVariant();
  }
  void Set(const QString& column, const QVariant& v) {
    values[column] = v;
    dirty.insert(column);
  }
};

const QVariant* EmProfileData::RowValue(const QString& column) const {
  if (!rowStamp || db->ReadStamp(QStringLiteral("PROFILE")) != rowStamp) return nullptr;
  // The row holds P.SYSTEM_ID, P.DOCNAME and P.ABSTRACT, then each field: a plain one as its
  // PROFILE column.
  qsizetype at = column == QLatin1String("SYSTEM_ID") ? 0 : column == QLatin1String("DOCNAME") ? 1
               : column == QLatin1String("ABSTRACT")  ? 2 : -1;
  for (size_t i = 0; at < 0 && i < Fields().size(); ++i)
    if (!Fields()[i].IsLookup() && Fields()[i].profileColumn == column) at = 3 + qsizetype(i);
  return at >= 0 && at < row.size() ? &row[at] : nullptr;
}

namespace {

class EmColumn : public DmColumn {
 public:
  EmColumn(std::shared_ptr<EmProfileData> data, size_t index) : data_(std::move(data)), index_(index) {}
  QString Name() const override { return Def().name; }
  int TypeCode() const override { return Def().typeCode; }
  QVariant Value() const override { return data_->Get(Def().profileColumn); }
  bool Protected() const override { return Def().isProtected; }

  void SetValue(const QVariant& v) override {
    Error.Clear();
    const FieldDef& def = Def();
    if (!def.Writable()) {
      Error = {ErrProtected, QStringLiteral("The column ") + def.name + QStringLiteral(" is protected")};
      return;
    }
    if (def.IsNumeric() && !v.isNull() && !v.toString().trimmed().isEmpty()) {
      bool ok = false;
      const qint64 n = v.toString().trimmed().toLongLong(&ok);
      if (!ok) {
        Error = {ErrInvalidValue, QStringLiteral("The column ") + def.name + QStringLiteral(" takes a number")};
        return;
      }
      data_->Set(def.profileColumn, n);
      return;
    }
    data_->Set(def.profileColumn, v.isNull() ? QVariant() : (def.IsNumeric() ? QVariant(qint64(0)) : QVariant(v.toString())));
  }

  bool IsValid() override {
    const FieldDef& def = Def();
    const QVariant v = Value();
    if (!def.IsLookup() || v.isNull() || v.toString().isEmpty()) return true;
    return !data_->LookUp(def, v.toString()).isNull();
  }

 private:
  const FieldDef& Def() const { return data_->Fields()[index_]; }
  std::shared_ptr<EmProfileData> data_;
  size_t index_;
};

// A stored PROFILE column reached by "$" + its name: read from the database each time, never
// written through the profile (the DM keeps such columns itself).
class EmStoredColumn : public DmColumn {
 public:
  EmStoredColumn(std::shared_ptr<EmProfileData> data, QString name, QString column)
      : data_(std::move(data)), name_(std::move(name)), column_(std::move(column)) {}
  QString Name() const override { return name_; }
  int TypeCode() const override { return Stored().typeId() == QMetaType::LongLong ? 4 : 1; }
  QVariant Value() const override { return Stored(); }
  void SetValue(const QVariant&) override {
    Error = {ErrProtected, QStringLiteral("The column ") + name_ + QStringLiteral(" is protected")};
  }
  bool IsValid() override { return true; }
  bool Protected() const override { return true; }

  // The column's name when the PROFILE table has it; empty otherwise.
  static QString ProfileColumn(SqliteDb& db, const QString& name) {
    const QString column = FoldedName(name.mid(1));
    if (column.isEmpty()) return QString();
    for (const QChar c : column)
      if (!(c.isLetterOrNumber() || c == QLatin1Char('_'))) return QString();
    // A statement naming the column (in brackets: SQLite takes an unknown name in double quotes
    // for a text) runs only when PROFILE has it; the rowid's own names would run without such a
    // column, so the table's list decides for them.
    if (column != QLatin1String("ROWID") && column != QLatin1String("OID") && column != QLatin1String("_ROWID_"))
      return db.HasColumn(QStringLiteral("PROFILE"), column) ? column : QString();
    const SqliteResult r = db.Read(QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('PROFILE') WHERE UPPER(name) = ?"), {column});
    return r.Value(0, 0).toLongLong() > 0 ? column : QString();
  }

 private:
  QVariant Stored() const {
    if (data_->isNew) return QVariant(qint64(0));
    if (const QVariant* read = data_->RowValue(column_)) return *read;
    return data_->db->ReadScalar(QStringLiteral("SELECT ") + QuotedName(column_) + QStringLiteral(" FROM PROFILE WHERE SYSTEM_ID = ?"),
                                 {data_->systemId});
  }
  std::shared_ptr<EmProfileData> data_;
  QString name_;
  QString column_;
};

class EmColumns : public DmColumns {
 public:
  explicit EmColumns(std::shared_ptr<EmProfileData> data) : data_(std::move(data)) {
    for (size_t i = 0; i < data_->Fields().size(); ++i) columns_.push_back(std::make_shared<EmColumn>(data_, i));
  }
  qint64 Count() const override { return data_->usable ? qint64(columns_.size()) : 0; }
  DmColumnPtr Item(const QString& name) override {
    if (!data_->usable) return nullptr;
    for (const auto& c : columns_)
      if (c->Name().compare(name, Qt::CaseInsensitive) == 0) return c;
    if (!name.startsWith(QLatin1Char('$'))) return nullptr;
    const QString column = EmStoredColumn::ProfileColumn(*data_->db, name);
    if (column.isEmpty()) return nullptr;
    return std::make_shared<EmStoredColumn>(data_, name, column);
  }
  DmColumnPtr Item(qint64 index) override {
    if (index < 1 || index > Count()) return nullptr;
    return columns_[size_t(index - 1)];
  }
  void LoadUserDefaults() override {
    const SqliteResult r = data_->db->Read(
        QStringLiteral("SELECT NAME, VALUE FROM DM_USER_DEFAULTS WHERE USER_ID = ? AND FORM = ?"),
        {data_->library->UserName(), data_->formId});
    for (const auto& row : r.rows) {
      DmColumnPtr c = Item(row[0].toString());
      if (c && !(c->Protected() && c->TypeCode() != 128)) c->SetValue(row[1].toString());
    }
  }

 private:
  std::shared_ptr<EmProfileData> data_;
  std::vector<std::shared_ptr<EmColumn>> columns_;
};

class EmEffectiveRights : public DmEffectiveRights {
 public:
  explicit EmEffectiveRights(bool canAct) : canAct_(canAct) {}
  bool CanAct() const override { return canAct_; }

 private:
  bool canAct_;
};

class EmTrustees : public DmTrustees {
 public:
  explicit EmTrustees(std::shared_ptr<EmProfileData> data) : data_(std::move(data)) {}
  qint64 Count() const override {
    if (data_->isNew) return 0;
    return data_->db->ReadScalar(QStringLiteral("SELECT COUNT(*) FROM SECURITY WHERE THING = ?"), {data_->systemId}).toLongLong();
  }
  // A profile whose DEFAULT_RIGHTS is 0 is unsecured: everyone may act on it. Otherwise the
  // user may act when a SECURITY row grants any right to the user, one of the user's groups,
  // or everyone (PERSONORGROUP 0).
  DmEffectiveRightsPtr EffectiveRights(const QString& user) override {
    const QVariant person = data_->db->ReadScalar(QStringLiteral("SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = ?"), {user});
    if (person.isNull()) return nullptr;
    if (data_->isNew) return std::make_shared<EmEffectiveRights>(true);
    // The profile's default rights and the user's best grant in one statement: asked for at
    // every filing check. The group test is a look-up of PEOPLEGROUPS' key: an IN list of the
    // user's groups would be built into a temporary table at every run.
    const SqliteResult r = data_->db->Read(
        QStringLiteral("SELECT P.DEFAULT_RIGHTS, (SELECT MAX(ACCESSRIGHTS) FROM SECURITY S WHERE S.THING = P.SYSTEM_ID AND "
                       "(S.PERSONORGROUP = 0 OR S.PERSONORGROUP = ? OR EXISTS (SELECT 1 FROM PEOPLEGROUPS G "
                       "WHERE G.PEOPLE_SYSTEM_ID = ? AND G.GROUPS_SYSTEM_ID = S.PERSONORGROUP))) FROM PROFILE P WHERE P.SYSTEM_ID = ?"),
        {person, person, data_->systemId});
    if (r.Value(0, 0).toLongLong() == 0) return std::make_shared<EmEffectiveRights>(true);
    return std::make_shared<EmEffectiveRights>(r.Value(0, 1).toLongLong() > 0);
  }

 private:
  std::shared_ptr<EmProfileData> data_;
};

class EmParentFolders : public DmParentFolders {
 public:
  explicit EmParentFolders(std::vector<DmParentFolder> items) : items_(std::move(items)) {}
  qint64 Count() const override { return qint64(items_.size()); }
  DmParentFolder Item(qint64 index) const override {
    if (index < 1 || index > Count()) return {};
    return items_[size_t(index - 1)];
  }

 private:
  std::vector<DmParentFolder> items_;
};

// What an open reads of profile P to choose its layout, in the four columns OpenFacts takes:
// its form, the form's name, its application, and its count of folder rows.
const QString OpenFactsColumns = QStringLiteral(
    "P.FORM, OPEN_F.FORM_NAME, OPEN_A.APPLICATION, (SELECT COUNT(*) FROM FOLDER WHERE DOCNUMBER = P.DOCNUMBER)");
const QString OpenFactsJoins = QStringLiteral(
    " LEFT JOIN FORMS OPEN_F ON OPEN_F.SYSTEM_ID = P.FORM LEFT JOIN APPS OPEN_A ON OPEN_A.SYSTEM_ID = P.APPLICATION");

// The statement that reads a profile's values in its layout: the look-up columns as the texts
// they look up; the facts that choose the layout follow the values.
QString ValuesStatement(const std::vector<FieldDef>& fields) {
  QStringList select{QStringLiteral("P.SYSTEM_ID"), QStringLiteral("P.DOCNAME"), QStringLiteral("P.ABSTRACT")};
  QString joins;
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    if (f.IsLookup()) {
      const QString alias = QStringLiteral("L%1").arg(i);
      select << alias + QLatin1Char('.') + QuotedName(f.lookupColumn);
      joins += QStringLiteral(" LEFT JOIN %1 %2 ON %2.SYSTEM_ID = P.%3").arg(QuotedName(f.lookupTable), alias, QuotedName(f.profileColumn));
    } else {
      select << QStringLiteral("P.") + QuotedName(f.profileColumn);
    }
  }
  select << OpenFactsColumns;
  joins += OpenFactsJoins;
  return QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) + QStringLiteral(" FROM PROFILE P") + joins +
         QStringLiteral(" WHERE P.DOCNUMBER = ?");
}

// The layout of a form: its own, or the default form's of its kind when it has none.
FormLayout ReadLayout(SqliteDb& db, qint64 formId, bool isFolder) {
  auto read = [&db](qint64 form) {
    std::vector<FieldDef> fields;
    const SqliteResult r = db.Read(QStringLiteral("SELECT NAME, PROFILE_COLUMN, LOOKUP_TABLE, LOOKUP_COLUMN, TYPE_CODE, PROTECTED "
                                                  "FROM DM_FORM_COLUMNS WHERE FORM = ? ORDER BY ORDINAL"),
                                   {form});
    for (const auto& row : r.rows) {
      FieldDef f{row[0].toString(), row[1].toString().toUpper(), row[2].toString(), row[3].toString(),
                 int(row[4].toLongLong()), row[5].toString().compare(QStringLiteral("Y"), Qt::CaseInsensitive) == 0};
      if (f.IsLookup())
        f.lookupSql = HashedText(QStringLiteral("SELECT SYSTEM_ID FROM %1 WHERE %2 = ?").arg(QuotedName(f.lookupTable), QuotedName(f.lookupColumn)));
      fields.push_back(std::move(f));
    }
    return fields;
  };
  std::vector<FieldDef> fields = read(formId);
  if (fields.empty()) {
    const QString fallback = isFolder ? QStringLiteral("FOLDER_PROF") : QStringLiteral("DEF_PROF");
    fields = read(db.ReadScalar(QStringLiteral("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = ?"), {fallback}).toLongLong());
  }
  const HashedText valuesSql(ValuesStatement(fields));
  std::vector<ValueSource> sources{{QStringLiteral("DOCNAME"), ValueSource::DocName},
                                   {QStringLiteral("ABSTRACT"), ValueSource::Abstract}};
  for (size_t i = 0; i < fields.size(); ++i) sources.push_back({fields[i].profileColumn, int(i)});
  // A later source of a column stands in for an earlier one, as a later value would.
  std::stable_sort(sources.begin(), sources.end(), [](const ValueSource& a, const ValueSource& b) { return a.column < b.column; });
  std::vector<ValueSource> unique;
  for (ValueSource& source : sources) {
    if (!unique.empty() && unique.back().column == source.column)
      unique.back() = std::move(source);
    else
      unique.push_back(std::move(source));
  }
  return FormLayout{std::make_shared<const std::vector<FieldDef>>(std::move(fields)), valuesSql,
                    std::make_shared<const std::vector<ValueSource>>(std::move(unique))};
}

}  // namespace

// The layouts read from a library, kept while the library's forms stand as they were read (a
// DM client keeps its form definitions too): every profile opened or made has one.
struct EmFormLayouts {
  using Key = std::pair<qint64, bool>;  // form and kind (folder or not)
  SqliteDb::Stamp stamp;
  std::map<Key, FormLayout> layouts;
  std::optional<Key> lastOpened;  // the layout of the profile opened last
};

namespace {

EmFormLayouts& KeptLayouts(EmProfileData& d) {
  std::shared_ptr<EmFormLayouts>& kept = d.library->FormLayouts();
  const SqliteDb::Stamp stamp = d.db->ConfigurationStamp();
  if (!kept || kept->stamp != stamp) {
    kept = std::make_shared<EmFormLayouts>();
    kept->stamp = stamp;
  }
  return *kept;
}

const FormLayout& LoadLayout(EmProfileData& d) {
  EmFormLayouts& kept = KeptLayouts(d);
  const EmFormLayouts::Key key(d.formId, d.isFolder);
  auto it = kept.layouts.find(key);
  if (it == kept.layouts.end()) it = kept.layouts.emplace(key, ReadLayout(*d.db, d.formId, d.isFolder)).first;
  return it->second;
}

void UseLayout(EmProfileData& d) {
  const FormLayout& layout = LoadLayout(d);
  d.fields = layout.fields;
  d.valuesSql = layout.valuesSql;
  d.sources = layout.sources;
}

QVariant LoadedValue(const FieldDef& def, const QVariant& v) {
  if (def.IsNumeric()) return QVariant(v.isNull() ? qint64(0) : v.toLongLong());
  return QVariant(v.isNull() ? QString() : DmValueText(v));
}

// Takes the values of the row that the layout's statement read; a new profile's, without a row.
void TakeValues(EmProfileData& d, const QVariantList& row) {
  const std::vector<FieldDef>& fields = d.Fields();
  const auto raw = [&row](int column) { return column < row.size() ? row[column] : QVariant(); };
  std::vector<ProfileValues::Item> items;
  items.reserve(d.Sources().size());
  for (const ValueSource& s : d.Sources()) {
    if (s.field < 0) {
      const QVariant text = raw(s.field == ValueSource::DocName ? 1 : 2);
      items.emplace_back(s.column, text.isNull() ? QString() : text.toString());
    } else {
      items.emplace_back(s.column, LoadedValue(fields[size_t(s.field)], raw(s.field + 3)));
    }
  }
  d.values.Assign(std::move(items));
}

// Takes what a layout's statement read of an existing profile: its id and its values.
void TakeRow(EmProfileData& d, const QVariantList& row) {
  d.dirty.clear();
  d.systemId = row[0].toLongLong();
  TakeValues(d, row);
  d.row = row;
  d.rowStamp = d.db->ReadStamp(QStringLiteral("PROFILE"));
}

// Reads the profile's values; false when the profile does not exist.
bool LoadValues(EmProfileData& d) {
  const SqliteResult r = d.db->Read(d.valuesSql, {d.docNumber});
  if (!r.ok || r.rows.isEmpty()) return false;
  TakeRow(d, r.rows.first());
  return true;
}

class EmFolder : public DmFolder {
 public:
  explicit EmFolder(std::shared_ptr<EmProfileData> data) : data_(std::move(data)) {}

  // DmProfile
  DmColumnsPtr Columns() override { return std::make_shared<EmColumns>(data_); }
  QString FormName() const override { return data_->formName; }
  void SetFormName(const QString& form) override {
    Error.Clear();
    const QVariant id = data_->db->ReadScalar(QStringLiteral("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = ?"), {form});
    if (id.isNull()) {
      Error = {ErrNotFound, QStringLiteral("The form ") + form + QStringLiteral(" does not exist")};
      return;
    }
    data_->formId = id.toLongLong();
    data_->formName = form;
    data_->dirty.insert(QStringLiteral("FORM"));
  }
  qint64 DocNumber() const override { return data_->docNumber; }
  QString DocumentName() const override { return data_->Get(QStringLiteral("DOCNAME")).toString(); }
  QString Library() const override { return data_->library->Name(); }
  DmTrusteesPtr Trustees() override { return std::make_shared<EmTrustees>(data_); }
  DmParentFoldersPtr ParentFolders() override;
  bool Save(int flags) override;
  void Close() override {}

  // DmFolder
  QString FolderName() const override { return data_->Get(QStringLiteral("DOCNAME")).toString(); }
  void SetFolderName(const QString& name) override { data_->Set(QStringLiteral("DOCNAME"), name); }
  QString Description() const override { return data_->Get(QStringLiteral("ABSTRACT")).toString(); }
  void SetDescription(const QString& text) override { data_->Set(QStringLiteral("ABSTRACT"), text); }
  void SetPublic(bool isPublic) override { data_->pendingPublic = isPublic; }
  bool AddDocument(const DmProfilePtr& item) override { return File(item, QStringLiteral("D")); }
  bool AddSubfolder(const DmFolderPtr& folder) override;

 private:
  bool Fail(qint64 number, const QString& text) {
    Error = {number, text};
    return false;
  }
  qint64 PersonId(const QString& user) const {
    return data_->db->ReadScalar(QStringLiteral("SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = ?"), {user}).toLongLong();
  }
  bool Resolve(const FieldDef& f, QVariant* id, QString* error) const;
  bool ResolvedValues(std::map<QString, QVariant>* out, bool all, QString* error) const;
  bool InsertNew(QString* error);
  bool UpdateExisting(QString* error);
  bool ApplyPublic(QString* error, qint64 id = 0);
  bool File(const DmProfilePtr& item, const QString& nodeType);
  bool Insert(const QString& table, const std::map<QString, QVariant>& values, QString* error) const;

  std::shared_ptr<EmProfileData> data_;
};

bool EmFolder::Insert(const QString& table, const std::map<QString, QVariant>& values, QString* error) const {
  QVariantList params;
  params.reserve(qsizetype(values.size()));
  for (const auto& [name, value] : values) params << value;
  const SqliteResult r = data_->db->Query(data_->db->InsertText(table, values), params, false);
  if (!r.ok && error) *error = r.error;
  return r.ok;
}

// A look-up column's text turned into the id its profile column holds; empty text and Null
// leave the column NULL.
bool EmFolder::Resolve(const FieldDef& f, QVariant* id, QString* error) const {
  const QVariant v = data_->Get(f.profileColumn);
  if (v.isNull() || v.toString().trimmed().isEmpty()) {
    *id = QVariant();
    return true;
  }
  // As the check of the column looks it up: on SQL Server trailing blanks do not count, and
  // leading ones do, so the value is looked up as it stands.
  *id = data_->LookUp(f, v.toString());
  if (id->isNull()) {
    *error = QStringLiteral("Invalid value '") + v.toString() + QStringLiteral("' for column ") + f.name;
    return false;
  }
  return true;
}

bool EmFolder::ResolvedValues(std::map<QString, QVariant>* out, bool all, QString* error) const {
  for (const char* text : {"DOCNAME", "ABSTRACT"}) {
    const QString column = QString::fromLatin1(text);
    if (all || data_->dirty.count(column)) (*out)[column] = data_->Get(column);
  }
  for (const FieldDef& f : data_->Fields()) {
    if (!all && !data_->dirty.count(f.profileColumn)) continue;
    if (f.profileColumn == QLatin1String("DOCNUMBER") || f.profileColumn == QLatin1String("SYSTEM_ID")) continue;
    if (f.IsLookup()) {
      QVariant id;
      if (!Resolve(f, &id, error)) return false;
      (*out)[f.profileColumn] = id;
    } else {
      (*out)[f.profileColumn] = data_->Get(f.profileColumn);
    }
  }
  return true;
}

bool EmFolder::InsertNew(QString* error) {
  const qint64 user = PersonId(data_->library->UserName());
  if (user == 0) {
    *error = QStringLiteral("The user ") + data_->library->UserName() + QStringLiteral(" is not a member of library ") +
             data_->library->Name();
    return false;
  }
  std::map<QString, QVariant> profile;
  if (!ResolvedValues(&profile, true, error)) return false;
  // Every id the new rows take, drawn at once: the profile, folder and version rows, three
  // activity rows and the root entry of a public folder.
  const bool rooted = data_->pendingPublic.value_or(false) && data_->isFolder;
  const qint64 docNumber = NextKeyOn(*data_->db, DocNumberKeyName, error);
  const qint64 systemId = docNumber == 0 ? 0 : NextKeysOn(*data_->db, SystemKeyName, rooted ? 7 : 6, error);
  if (docNumber == 0 || systemId == 0) return false;
  qint64 nextId = systemId + 1;
  const QString now = DmNow();
  profile[QStringLiteral("SYSTEM_ID")] = systemId;
  profile[QStringLiteral("DOCNUMBER")] = docNumber;
  if (profile[QStringLiteral("AUTHOR")].isNull()) profile[QStringLiteral("AUTHOR")] = user;
  if (profile[QStringLiteral("TYPIST")].isNull()) profile[QStringLiteral("TYPIST")] = user;
  profile[QStringLiteral("APPLICATION")] =
      data_->db->ReadScalar(QStringLiteral("SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'"));
  profile[QStringLiteral("FORM")] = data_->formId;
  profile[QStringLiteral("STATUS")] = 0;
  profile[QStringLiteral("DEFAULT_RIGHTS")] = 0;
  profile[QStringLiteral("STORAGETYPE")] = QStringLiteral("A");
  profile[QStringLiteral("PATH")] = QString();
  if (profile[QStringLiteral("RETENTION")].isNull()) profile[QStringLiteral("RETENTION")] = 0;
  profile[QStringLiteral("FULLTEXT")] = QStringLiteral("Y");
  profile[QStringLiteral("CREATION_DATE")] = now;
  profile[QStringLiteral("LAST_EDIT_DATE")] = now;
  profile[QStringLiteral("LAST_EDITED_BY")] = user;
  if (!Insert(QStringLiteral("PROFILE"), profile, error)) return false;

  const qint64 folderId = nextId++;
  const qint64 versionId = nextId++;
  if (!Insert(QStringLiteral("FOLDER"), {{QStringLiteral("SYSTEM_ID"), folderId}, {QStringLiteral("DOCNUMBER"), docNumber},
                                         {QStringLiteral("PATH"), QString()}},
              error))
    return false;
  if (!Insert(QStringLiteral("VERSIONS"),
              {{QStringLiteral("VERSION_ID"), versionId}, {QStringLiteral("DOCNUMBER"), docNumber},
               {QStringLiteral("VERSION"), 1}, {QStringLiteral("SUBVERSION"), QStringLiteral("!")},
               {QStringLiteral("VERSION_LABEL"), QStringLiteral("1")}, {QStringLiteral("AUTHOR"), profile[QStringLiteral("AUTHOR")]},
               {QStringLiteral("TYPIST"), user}, {QStringLiteral("STATUS"), 0}, {QStringLiteral("CREATION_DATE"), now}},
              error))
    return false;
  // The three activity rows in one statement.
  const std::pair<int, const char*> activities[] = {{45, "Folder created"}, {46, "Profile saved"}, {47, "Version created"}};
  QVariantList params;
  // The date and time of the save itself, also across midnight.
  const QString today = now.left(10);
  for (const auto& [type, text] : activities)
    params << nextId++ << docNumber << type << profile[QStringLiteral("AUTHOR")] << user << today << now.mid(11)
           << QStringLiteral("1") << profile[QStringLiteral("APPLICATION")] << QString::fromLatin1(text);
  const SqliteResult logged = data_->db->Query(
      QStringLiteral("INSERT INTO ACTIVITYLOG (SYSTEM_ID, DOCNUMBER, ACTIVITY_TYPE, AUTHOR, TYPIST, START_DATE, START_TIME, "
                     "VERSION_LABEL, APPLICATION, ACTIVITY_DESC) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?), "
                     "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?), (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
      params);
  if (!logged.ok) {
    *error = logged.error;
    return false;
  }
  data_->docNumber = docNumber;
  data_->systemId = systemId;
  return ApplyPublic(error, rooted ? nextId : 0);
}

bool EmFolder::UpdateExisting(QString* error) {
  std::map<QString, QVariant> changes;
  if (!ResolvedValues(&changes, false, error)) return false;
  if (data_->dirty.count(QStringLiteral("FORM"))) changes[QStringLiteral("FORM")] = data_->formId;
  if (!changes.empty()) {
    changes[QStringLiteral("LAST_EDIT_DATE")] = DmNow();
    QStringList sets;
    QVariantList params;
    for (const auto& [name, value] : changes) {
      sets << QuotedName(name) + QStringLiteral(" = ?");
      params << value;
    }
    params << data_->systemId;
    const SqliteResult r = data_->db->Query(
        QStringLiteral("UPDATE PROFILE SET ") + sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE SYSTEM_ID = ?"), params);
    if (!r.ok) {
      *error = r.error;
      return false;
    }
    if (changes.count(QStringLiteral("DOCNAME"))) {
      const SqliteResult root = data_->db->Query(QStringLiteral("UPDATE ROOT_OBJECT SET DISPLAYNAME = ? WHERE DOCNUMBER = ?"),
                                                 {changes[QStringLiteral("DOCNAME")], data_->docNumber});
      if (!root.ok) {
        *error = root.error;
        return false;
      }
    }
  }
  return ApplyPublic(error);
}

// A public folder has a ROOT_OBJECT row; making it not public removes the row. `id` is the
// row's id when the caller drew it already, else 0.
bool EmFolder::ApplyPublic(QString* error, qint64 id) {
  if (!data_->pendingPublic || !data_->isFolder) return true;
  SqliteDb& db = *data_->db;
  if (!*data_->pendingPublic) {
    const SqliteResult r = db.Query(QStringLiteral("DELETE FROM ROOT_OBJECT WHERE DOCNUMBER = ?"), {data_->docNumber});
    if (!r.ok) *error = r.error;
    return r.ok;
  }
  if (db.ReadScalar(QStringLiteral("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = ?"), {data_->docNumber}).toLongLong() > 0)
    return true;
  if (id == 0) id = NextKeyOn(db, SystemKeyName, error);
  if (id == 0) return false;
  return Insert(QStringLiteral("ROOT_OBJECT"),
                {{QStringLiteral("SYSTEM_ID"), id}, {QStringLiteral("DOCNUMBER"), data_->docNumber},
                 {QStringLiteral("DISPLAYNAME"), FolderName()}, {QStringLiteral("PERSONORGROUP"), 0}},
                error);
}

bool EmFolder::Save(int) {
  Error.Clear();
  if (data_->Get(QStringLiteral("DOCNAME")).toString().size() > DocNameLength)
    return Fail(ErrTooLong, QStringLiteral("String or binary data would be truncated in column DOCNAME."));
  QString error;
  const bool isNew = data_->isNew;
  // A save with nothing to write (a parent saved after a filing, which wrote at once) writes
  // nothing and opens no transaction for it.
  const bool nothingToWrite = !isNew && data_->dirty.empty() && !(data_->pendingPublic && data_->isFolder);
  // Taking a folder off the root (every row's new folder) is one DELETE, atomic on its own: it
  // needs no savepoint of its own.
  const bool onlyUnpublish = !isNew && data_->dirty.empty() && data_->pendingPublic == false && data_->isFolder;
  const bool ok = nothingToWrite || (onlyUnpublish ? ApplyPublic(&error) : WithWriteTransaction(*data_->db, &error, [&](QString* err) {
    return isNew ? InsertNew(err) : UpdateExisting(err);
  }));
  data_->lookedUp.clear();
  if (!ok) {
    if (isNew) data_->docNumber = 0;
    return Fail(error.startsWith(QStringLiteral("Invalid value")) ? ErrInvalidValue : ErrDatabase, error);
  }
  data_->isNew = false;
  data_->pendingPublic.reset();
  LoadValues(*data_);
  return true;
}

DmParentFoldersPtr EmFolder::ParentFolders() {
  std::vector<DmParentFolder> items;
  if (data_->isNew) return std::make_shared<EmParentFolders>(items);
  // Filings of this item: rows that name it as an item of this library (LIBRARY is this
  // library's own REMOTE_LIBRARIES entry, 0), whether the folder is here or elsewhere.
  // By parent; the few rows are put in order here, which spares SQLite a sorter at every run.
  const SqliteResult r = data_->db->Read(
      QStringLiteral("SELECT FI.PARENT, FI.PARENT_LIBRARY, PL.LIBRARY_NAME FROM FOLDER_ITEM FI "
                     "LEFT JOIN REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY "
                     "WHERE FI.DOCNUMBER = ? AND (FI.LIBRARY = 0 OR FI.LIBRARY IS NULL)"),
      {data_->docNumber});
  QList<QVariantList> rows = r.rows;
  std::stable_sort(rows.begin(), rows.end(),
                   [](const QVariantList& a, const QVariantList& b) { return a[0].toLongLong() < b[0].toLongLong(); });
  for (const auto& row : rows) {
    DmParentFolder p;
    p.DocNumber = row[0].toLongLong();
    const bool local = row[1].isNull() || row[1].toLongLong() == 0;
    p.Library = local ? data_->library->Name() : row[2].toString();
    QString error;
    SqliteDbPtr db = local ? data_->db : data_->library->Server()->Connection(p.Library, &error);
    if (db) {
      const SqliteResult folder =
          db->Read(QStringLiteral("SELECT DOCNAME, ABSTRACT FROM PROFILE WHERE DOCNUMBER = ?"), {p.DocNumber});
      p.Name = DmValueText(folder.Value(0, 0));
      p.Description = DmValueText(folder.Value(0, 1));
    }
    items.push_back(p);
  }
  return std::make_shared<EmParentFolders>(items);
}

bool EmFolder::AddSubfolder(const DmFolderPtr& folder) {
  auto* other = dynamic_cast<EmFolder*>(folder.get());
  if (other && !other->data_->isFolder) return Fail(ErrInvalidValue, QStringLiteral("The item is not a folder"));
  return File(folder, QStringLiteral("F"));
}

// Appends a FOLDER_ITEM row for the item at the end of this folder's chain.
bool EmFolder::File(const DmProfilePtr& item, const QString& nodeType) {
  Error.Clear();
  if (!item) return Fail(ErrNotFound, QStringLiteral("No item to add"));
  if (data_->isNew || !data_->isFolder) return Fail(ErrNotSaved, QStringLiteral("The folder is not saved"));
  if (item->DocNumber() == 0) return Fail(ErrNotSaved, QStringLiteral("The item is not saved"));
  SqliteDb& db = *data_->db;
  const QString libraryIdSql = QStringLiteral("SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?");
  const QVariant ownLibrary = db.ReadScalar(libraryIdSql, {Library()});
  // Most items are of the folder's own library: the same look-up again is not run.
  const QVariant itemLibrary = item->Library() == Library() ? ownLibrary : db.ReadScalar(libraryIdSql, {item->Library()});
  if (itemLibrary.isNull() || ownLibrary.isNull())
    return Fail(ErrNotFound, QStringLiteral("The library ") + item->Library() +
                                 QStringLiteral(" is not listed in REMOTE_LIBRARIES of library ") + Library());
  if (itemLibrary.toLongLong() == ownLibrary.toLongLong() && item->DocNumber() == data_->docNumber)
    return Fail(ErrInvalidValue, QStringLiteral("A folder cannot hold itself"));
  QString error;
  const bool ok = WithWriteTransaction(db, &error, [&](QString* err) {
    // What the filing needs to know, in one read: whether the item is in the folder already, the
    // last row of the folder's chain, whether the chain has any row, the folder's first version.
    static const HashedText facts(QStringLiteral(
        "SELECT (SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = ?1 AND PARENT_LIBRARY = ?2 AND DOCNUMBER = ?3 AND LIBRARY = ?4), "
        "(SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = ?1 AND PARENT_LIBRARY = ?2 AND \"NEXT\" = 0 ORDER BY SYSTEM_ID DESC LIMIT 1), "
        "(SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = ?1 AND PARENT_LIBRARY = ?2), "
        "(SELECT MIN(VERSION_ID) FROM VERSIONS WHERE DOCNUMBER = ?1)"));
    const SqliteResult known = db.Read(facts, {data_->docNumber, ownLibrary, item->DocNumber(), itemLibrary});
    if (!known.ok) {
      *err = known.error;
      return false;
    }
    if (known.Value(0, 0).toLongLong() > 0) {
      *err = QStringLiteral("Item #") + QString::number(item->DocNumber()) + QStringLiteral(" is already in folder #") +
             QString::number(data_->docNumber);
      return false;
    }
    const qint64 id = NextKeyOn(db, SystemKeyName, err);
    if (id == 0) return false;
    const QVariant last = known.Value(0, 1);
    // A chain with a last row has a first one; only one without is counted.
    const bool first = last.isNull() && known.Value(0, 2).toLongLong() == 0;
    if (!last.isNull()) {
      const SqliteResult link = db.Query(QStringLiteral("UPDATE FOLDER_ITEM SET \"NEXT\" = ? WHERE SYSTEM_ID = ?"), {id, last});
      if (!link.ok) {
        *err = link.error;
        return false;
      }
    }
    const QVariant version = known.Value(0, 3);
    return Insert(QStringLiteral("FOLDER_ITEM"),
                  {{QStringLiteral("SYSTEM_ID"), id}, {QStringLiteral("PARENT"), data_->docNumber},
                   {QStringLiteral("PARENT_LIBRARY"), ownLibrary}, {QStringLiteral("DOCNUMBER"), item->DocNumber()},
                   {QStringLiteral("LIBRARY"), itemLibrary}, {QStringLiteral("DISPLAYNAME"), item->DocumentName()},
                   {QStringLiteral("NODE_TYPE"), nodeType}, {QStringLiteral("ISFIRST"), first ? QStringLiteral("Y") : QStringLiteral("N")},
                   {QStringLiteral("NEXT"), 0}, {QStringLiteral("REMOTE_SYSTEM_ID"), 0},
                   {QStringLiteral("PARENT_VERSION"), version.isNull() ? QVariant(0) : version},
                   {QStringLiteral("VERSION_TYPE"), QStringLiteral("R")}, {QStringLiteral("STATUS"), 0},
                   {QStringLiteral("FOLDERREMLIB_RO"), 0}, {QStringLiteral("FOLDERDOCNO_RO"), 0}},
                  err);
  });
  if (!ok) return Fail(error.contains(QStringLiteral("already in folder")) ? ErrAlreadyFiled : ErrDatabase, error);
  return true;
}

std::shared_ptr<EmProfileData> NewData(const EmLibraryPtr& library, DmObjectError* error) {
  QString message;
  SqliteDbPtr db = library->Db(&message);
  if (!db) {
    *error = {ErrDatabase, message};
    return nullptr;
  }
  auto data = std::make_shared<EmProfileData>();
  data->library = library;
  data->db = db;
  return data;
}

// What an open reads of a profile to choose its layout: the columns of OpenFactsColumns, from `at`.
struct OpenFacts {
  qint64 formId = 0;
  QString formName;
  bool isFolder = false;
  bool usable = true;  // a profile whose form is missing from FORMS cannot be edited: it offers no columns
};

OpenFacts FactsOf(const QVariantList& row, qsizetype at) {
  OpenFacts facts;
  facts.formId = row[at].toLongLong();
  facts.formName = row[at + 1].toString();
  facts.isFolder = row[at + 2].toString().compare(QStringLiteral("FOLDER"), Qt::CaseInsensitive) == 0 && row[at + 3].toLongLong() > 0;
  facts.usable = row[at].isNull() || !row[at + 1].isNull();
  return facts;
}

void TakeFacts(EmProfileData& d, const OpenFacts& facts) {
  d.isFolder = facts.isFolder;
  d.formId = facts.formId;
  d.formName = facts.formName;
  d.usable = facts.usable;
}

// What the read with the layout of the profile opened last found.
struct LastLayoutRead {
  bool found = true;               // false: the profile does not exist
  std::optional<OpenFacts> facts;  // none when no such read ran or it failed
  bool taken = false;              // the layout was the profile's own: its values are taken
};

// Most opens in a row are of profiles of one layout: the values and the facts that choose the
// layout are read together with the layout of the profile opened last, one read instead of two.
LastLayoutRead OpenWithLastLayout(EmProfileData& d) {
  LastLayoutRead read;
  EmFormLayouts& kept = KeptLayouts(d);
  if (!kept.lastOpened) return read;
  const auto layout = kept.layouts.find(*kept.lastOpened);
  if (layout == kept.layouts.end()) return read;
  const SqliteResult r = d.db->Read(layout->second.valuesSql, {d.docNumber});
  if (!r.ok) return read;
  if (r.rows.isEmpty()) {
    read.found = false;
    return read;
  }
  const QVariantList& row = r.rows.first();
  read.facts = FactsOf(row, row.size() - 4);
  if (EmFormLayouts::Key(read.facts->formId, read.facts->isFolder) != layout->first) return read;
  TakeFacts(d, *read.facts);
  UseLayout(d);
  TakeRow(d, row);
  read.taken = true;
  return read;
}

// Opens an existing profile; folderOnly refuses profiles that are not folders.
std::shared_ptr<EmFolder> OpenExisting(const EmLibraryPtr& library, qint64 docNumber, bool folderOnly, DmObjectError* error) {
  error->Clear();
  auto data = NewData(library, error);
  if (!data) return nullptr;
  data->isNew = false;
  data->docNumber = docNumber;
  const LastLayoutRead first = OpenWithLastLayout(*data);
  bool found = first.found;
  std::optional<OpenFacts> facts = first.facts;
  if (found && !facts) {
    static const HashedText factsSql(QStringLiteral("SELECT ") + OpenFactsColumns + QStringLiteral(" FROM PROFILE P") +
                                     OpenFactsJoins + QStringLiteral(" WHERE P.DOCNUMBER = ?"));
    const SqliteResult r = data->db->Read(factsSql, {docNumber});
    found = !r.rows.isEmpty();
    if (found) facts = FactsOf(r.rows.first(), 0);
  }
  if (!found) {
    *error = {ErrNotFound, QStringLiteral("Document #") + QString::number(docNumber) + QStringLiteral(" not found in library ") +
                               library->Name()};
    return nullptr;
  }
  if (folderOnly && !facts->isFolder) {
    *error = {ErrNotFound, QStringLiteral("Document #") + QString::number(docNumber) + QStringLiteral(" is not a folder")};
    return nullptr;
  }
  if (first.taken) return std::make_shared<EmFolder>(data);
  TakeFacts(*data, *facts);
  UseLayout(*data);
  if (!LoadValues(*data)) {
    *error = {ErrDatabase, QStringLiteral("Cannot read document #") + QString::number(docNumber)};
    return nullptr;
  }
  KeptLayouts(*data).lastOpened = EmFormLayouts::Key(data->formId, data->isFolder);
  return std::make_shared<EmFolder>(data);
}

}  // namespace

DmFolderPtr EmLibrary::NewFolder() {
  Error.Clear();
  auto data = NewData(shared_from_this(), &Error);
  if (!data) return nullptr;
  data->isFolder = true;
  const SqliteResult form = data->db->Read(QStringLiteral("SELECT SYSTEM_ID, FORM_NAME FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'"));
  data->formId = form.Value(0, 0).toLongLong();
  data->formName = form.Value(0, 1).toString();
  UseLayout(*data);
  // A new profile's fields start empty (not Null), as a new profile form shows them.
  TakeValues(*data, {});
  return std::make_shared<EmFolder>(data);
}

DmFolderPtr EmLibrary::OpenFolder(qint64 docNumber) { return OpenExisting(shared_from_this(), docNumber, true, &Error); }

// The object type is accepted as the DM client passes it; the number decides what opens.
DmFolderPtr EmLibrary::OpenFolder(int, qint64 docNumber) { return OpenFolder(docNumber); }

DmProfilePtr EmLibrary::OpenProfile(qint64 docNumber) { return OpenExisting(shared_from_this(), docNumber, false, &Error); }

DmProfilePtr EmLibrary::OpenProfile(int, qint64 docNumber) { return OpenProfile(docNumber); }

}  // namespace sw::dm
