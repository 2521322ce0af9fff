// Filling a new folder's profile: the value chosen for each column, the user's defaults, the
// parent's values, writability, Null values, refused and invalid writes, and the author.
#include <gtest/gtest.h>

#include <map>

#include "filing_session.h"
#include "folders/profile_filling.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

// ---- the value of one column ----

TEST(StandardColumnValueTest, FixedColumns) {
  const ColumnValues none;
  const QVariant empty{QString()};
  auto value = [&](const QString& column, const QVariant& current, const QString& source = QStringLiteral("PROFILE")) {
    return StandardColumnValue(column, current, QStringLiteral("New Folder"), source, QStringLiteral("ADMIN"), none);
  };
  EXPECT_EQ(value(QStringLiteral("docname"), QStringLiteral("old")), QVariant(QStringLiteral("New Folder")));
  EXPECT_EQ(value(QStringLiteral("APP_ID"), QStringLiteral("MS WORD")), QVariant(QStringLiteral("FOLDER")));
  EXPECT_EQ(value(QStringLiteral("AUTHOR_ID"), empty), QVariant(QStringLiteral("ADMIN")));
  EXPECT_FALSE(value(QStringLiteral("AUTHOR_ID"), QStringLiteral("JSMITH")));
  EXPECT_FALSE(value(QStringLiteral("AUTHOR_ID"), empty, QStringLiteral("Default")));
  EXPECT_FALSE(value(QStringLiteral("AUTHOR_ID"), empty, QStringLiteral("default")));
  EXPECT_EQ(value(QStringLiteral("Typist_Id"), empty), QVariant(QStringLiteral("ADMIN")));
  EXPECT_FALSE(value(QStringLiteral("TYPIST_ID"), QVariant()));  // Null is not empty
  EXPECT_EQ(value(QStringLiteral("TYPE_ID"), empty), QVariant(QStringLiteral("FOLDER")));
  EXPECT_EQ(value(QStringLiteral("TYPE_ID"), QStringLiteral("CORR")), QVariant(QStringLiteral("FOLDER")));
  EXPECT_FALSE(value(QStringLiteral("CLIENT_ID"), empty));
}

TEST(StandardColumnValueTest, OtherColumnsComeFromTheParentByExactName) {
  const ColumnValues parent{{QStringLiteral("CLIENT_ID"), QStringLiteral("C0002")},
                            {QStringLiteral("TYPE_ID"), QStringLiteral("CORR")},
                            {QStringLiteral("CLIENT_ID"), QStringLiteral("C0009")},
                            {QStringLiteral("NOTE"), QVariant()}};
  auto value = [&](const QString& column, const QVariant& current) {
    return StandardColumnValue(column, current, QStringLiteral("F"), QStringLiteral("PROFILE"), QStringLiteral("ADMIN"), parent);
  };
  const QVariant empty{QString()};
  EXPECT_EQ(value(QStringLiteral("CLIENT_ID"), empty), QVariant(QStringLiteral("C0002")));
  EXPECT_FALSE(value(QStringLiteral("client_id"), empty));
  EXPECT_FALSE(value(QStringLiteral("CLIENT_ID"), QStringLiteral("C0001")));
  EXPECT_FALSE(value(QStringLiteral("CLIENT_ID"), QVariant()));
  EXPECT_EQ(value(QStringLiteral("TYPE_ID"), empty), QVariant(QStringLiteral("CORR")));
  EXPECT_TRUE(IsNullValue(*value(QStringLiteral("NOTE"), empty)));
}

TEST(StandardColumnValueTest, NullIsNeitherEmptyNorFilled) {
  EXPECT_TRUE(IsEmptyValue(QVariant(QString())));
  EXPECT_FALSE(IsEmptyValue(QVariant()));
  EXPECT_FALSE(IsNonEmptyValue(QVariant()));
  EXPECT_TRUE(IsNullValue(QVariant()));
  EXPECT_TRUE(IsNonEmptyValue(QVariant(qint64(0))));
  EXPECT_FALSE(IsNonEmptyValue(QVariant(QString())));
}

// ---- a profile whose columns a test arranges ----

class FakeColumn : public dm::DmColumn {
 public:
  FakeColumn(QString name, QVariant value, bool isProtected = false, int typeCode = 1)
      : name_(std::move(name)), value_(std::move(value)), protected_(isProtected), type_(typeCode) {}
  QString Name() const override { return name_; }
  int TypeCode() const override { return type_; }
  QVariant Value() const override { return value_; }
  void SetValue(const QVariant& v) override {
    Error.Clear();
    ++writes;
    if (refuse) {
      Error = {55, QStringLiteral("refused")};
      return;
    }
    value_ = v;
  }
  bool IsValid() override { return invalid.isEmpty() || value_.isNull() || value_.toString() != invalid; }
  bool Protected() const override { return protected_; }
  int writes = 0;
  bool refuse = false;
  QString invalid;  // the one value this column does not accept

 private:
  QString name_;
  QVariant value_;
  bool protected_;
  int type_;
};
using FakeColumnPtr = std::shared_ptr<FakeColumn>;

class FakeColumns : public dm::DmColumns {
 public:
  qint64 Count() const override { return qint64(items.size()); }
  dm::DmColumnPtr Item(const QString& name) override {
    for (const auto& c : items)
      if (c->Name().compare(name, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
  }
  dm::DmColumnPtr Item(qint64 index) override { return index >= 1 && index <= Count() ? items[size_t(index - 1)] : nullptr; }
  // Like the DM: the user's stored defaults go into their columns as they are.
  void LoadUserDefaults() override {
    ++loads;
    for (const auto& [name, value] : defaults)
      if (dm::DmColumnPtr c = Item(name)) c->SetValue(value);
  }
  std::vector<FakeColumnPtr> items;
  std::map<QString, QString> defaults;
  int loads = 0;
};

class FakeProfile : public dm::DmProfile {
 public:
  explicit FakeProfile(QString library) : columns(std::make_shared<FakeColumns>()), library_(std::move(library)) {}
  dm::DmColumnsPtr Columns() override { return columns; }
  QString FormName() const override { return QStringLiteral("FOLDER_PROF"); }
  void SetFormName(const QString&) override {}
  qint64 DocNumber() const override { return 0; }
  QString DocumentName() const override { return QString(); }
  QString Library() const override { return library_; }
  dm::DmTrusteesPtr Trustees() override { return nullptr; }
  dm::DmParentFoldersPtr ParentFolders() override { return nullptr; }
  bool Save(int) override { return true; }
  void Close() override {}

  FakeColumnPtr Add(const QString& name, const QVariant& value = QVariant(QString()), bool isProtected = false, int typeCode = 1) {
    columns->items.push_back(std::make_shared<FakeColumn>(name, value, isProtected, typeCode));
    return columns->items.back();
  }
  std::shared_ptr<FakeColumns> columns;

 private:
  QString library_;
};

class FillFolderProfileTest : public test::FilingSession {
 protected:
  std::shared_ptr<FakeProfile> NewProfile(const QString& library = Law) {
    auto profile = std::make_shared<FakeProfile>(library);
    docnum = profile->Add(QStringLiteral("DOCNUM"), qint64(0), true, 4);
    docname = profile->Add(QStringLiteral("DOCNAME"));
    author = profile->Add(QStringLiteral("AUTHOR_ID"), QVariant(QString()), true, 128);
    typist = profile->Add(QStringLiteral("TYPIST_ID"), QVariant(QString()), true, 128);
    app = profile->Add(QStringLiteral("APP_ID"), QVariant(QString()), true, 128);
    type = profile->Add(QStringLiteral("TYPE_ID"));
    client = profile->Add(QStringLiteral("CLIENT_ID"));
    security = profile->Add(QStringLiteral("SECURITY"), QVariant(QString()), true, 128);
    cx.items.ProfileObject = profile;
    return profile;
  }
  bool Fill(qint64 parent = 0, const QString& parentLibrary = QString(), const QString& source = QStringLiteral("PROFILE")) {
    return FillFolderProfile(cx, QStringLiteral("New Folder"), parent, parentLibrary, source);
  }
  // A saved folder of LAWLIB with a client and a document type.
  qint64 ParentFolder() {
    dm::DmFolderPtr folder = SessionLibrary(Law)->NewFolder();
    folder->SetFolderName(QStringLiteral("Parent Folder"));
    folder->Columns()->Item(QStringLiteral("CLIENT_ID"))->SetValue(QStringLiteral("C0002"));
    folder->Columns()->Item(QStringLiteral("TYPE_ID"))->SetValue(QStringLiteral("CORR"));
    EXPECT_TRUE(folder->Save(3)) << folder->Error.ErrDescription.toStdString();
    return folder->DocNumber();
  }
  QString V(const FakeColumnPtr& c) const { return c->Value().toString(); }
  FakeColumnPtr docnum, docname, author, typist, app, type, client, security;
};

TEST_F(FillFolderProfileTest, StandardColumnsOfATopLevelFolder) {
  auto profile = NewProfile();
  const FakeColumnPtr locked = profile->Add(QStringLiteral("LOCKED"), QVariant(QString()), true, 1);
  const FakeColumnPtr note = profile->Add(QStringLiteral("NOTE"), QVariant());
  ASSERT_TRUE(Fill());
  EXPECT_EQ(V(docname), QStringLiteral("New Folder"));
  EXPECT_EQ(V(author), QStringLiteral("ADMIN"));
  EXPECT_EQ(V(typist), QStringLiteral("ADMIN"));
  EXPECT_EQ(V(app), QStringLiteral("FOLDER"));
  EXPECT_EQ(V(type), QStringLiteral("FOLDER"));
  EXPECT_EQ(V(client), QString());
  EXPECT_EQ(locked->writes, 0);  // protected without the writable type code
  EXPECT_EQ(note->writes, 0);
  EXPECT_TRUE(note->Value().isNull());
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("Setting Standard profile columns for folder \"New Folder\"")));
  EXPECT_TRUE(log.contains(QStringLiteral("Setting column APP_ID to FOLDER")));
  EXPECT_TRUE(log.contains(QStringLiteral("Form for this folder is: FOLDER_PROF")));
  EXPECT_TRUE(log.contains(QStringLiteral("Library for this folder is: LAWLIB")));
  EXPECT_FALSE(log.contains(QStringLiteral("Opening profile object #")));
}

TEST_F(FillFolderProfileTest, ColumnThatAlreadyHoldsAValueKeepsIt) {
  auto profile = NewProfile();
  typist = profile->columns->items[3] = std::make_shared<FakeColumn>(QStringLiteral("TYPIST_ID"), QStringLiteral("JSMITH"), true, 128);
  app = profile->columns->items[4] = std::make_shared<FakeColumn>(QStringLiteral("APP_ID"), QStringLiteral("MS WORD"), true, 128);
  ASSERT_TRUE(Fill());
  EXPECT_EQ(V(typist), QStringLiteral("JSMITH"));
  EXPECT_EQ(V(app), QStringLiteral("MS WORD"));
  EXPECT_FALSE(Log().contains(QStringLiteral("Setting column TYPIST_ID to ADMIN")));
  EXPECT_FALSE(Log().contains(QStringLiteral("Setting column APP_ID to FOLDER")));
  // What the profile held after the defaults were loaded counts as the user's defaults.
  EXPECT_TRUE(Log().contains(QStringLiteral("Setting column APP_ID to default value MS WORD")));
}

TEST_F(FillFolderProfileTest, DefaultsOfThePrimaryLibraryAreLoadedRememberedAndWrittenAgain) {
  auto profile = NewProfile();
  profile->columns->defaults = {{QStringLiteral("TYPIST_ID"), QStringLiteral("JSMITH")},
                                {QStringLiteral("CLIENT_ID"), QStringLiteral("C0001")},
                                {QStringLiteral("DOCNAME"), QStringLiteral("Default Name")},
                                {QStringLiteral("SECURITY"), QStringLiteral("1")}};
  ASSERT_TRUE(Fill());
  EXPECT_EQ(profile->columns->loads, 1);
  EXPECT_EQ(V(typist), QStringLiteral("JSMITH"));
  EXPECT_EQ(V(client), QStringLiteral("C0001"));
  EXPECT_EQ(client->writes, 2);
  // A default name is remembered but never written again: the folder's own name replaces it.
  EXPECT_EQ(V(docname), QStringLiteral("New Folder"));
  EXPECT_EQ(docname->writes, 2);
  EXPECT_EQ(security->writes, 1);
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("Setting Profile Defaults (if any) for this folder form FOLDER_PROF from the defaults of "
                                          "user ADMIN in library LAWLIB")));
  EXPECT_TRUE(log.contains(QStringLiteral("TYPIST_ID:JSMITH")));
  EXPECT_TRUE(log.contains(QStringLiteral("DOCNAME:Default Name")));
  EXPECT_FALSE(log.contains(QStringLiteral("SECURITY:1")));
  EXPECT_TRUE(log.contains(QStringLiteral("Setting column CLIENT_ID to default value C0001")));
  EXPECT_FALSE(log.contains(QStringLiteral("Setting column DOCNAME to default value")));
}

TEST_F(FillFolderProfileTest, NoDefaultsOutsideThePrimaryLibrary) {
  auto profile = NewProfile(QStringLiteral("lawlib"));  // not the current library's name exactly
  profile->columns->defaults = {{QStringLiteral("CLIENT_ID"), QStringLiteral("C0001")}};
  ASSERT_TRUE(Fill());
  EXPECT_EQ(profile->columns->loads, 0);
  EXPECT_EQ(V(client), QString());

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  auto oracle = NewProfile(Ora);
  oracle->columns->defaults = {{QStringLiteral("CLIENT_ID"), QStringLiteral("C0001")}};
  ASSERT_TRUE(Fill());
  EXPECT_EQ(oracle->columns->loads, 0);
  EXPECT_FALSE(Log().contains(QStringLiteral("Setting Profile Defaults")));
}

TEST_F(FillFolderProfileTest, DefaultAuthorSourceLeavesTheAuthorToTheLastStep) {
  NewProfile();
  ASSERT_TRUE(Fill(0, QString(), QStringLiteral("Default")));
  EXPECT_FALSE(Log().contains(QStringLiteral("Setting column AUTHOR_ID")));
  EXPECT_EQ(V(author), QStringLiteral("ADMIN"));
  EXPECT_EQ(author->writes, 1);
}

TEST_F(FillFolderProfileTest, RefusedWriteIsLoggedAndInvalidValueBecomesNull) {
  NewProfile();
  app->refuse = true;
  type->invalid = QStringLiteral("FOLDER");
  ASSERT_TRUE(Fill());
  EXPECT_TRUE(Log().contains(QStringLiteral("Error #55 (refused) setting column APP_ID")));
  EXPECT_TRUE(type->Value().isNull());
  EXPECT_TRUE(Log().contains(QStringLiteral("Notice: Setting TYPE_ID to Null because original value is invalid")));
  // The other columns are still filled.
  EXPECT_EQ(V(typist), QStringLiteral("ADMIN"));
}

TEST_F(FillFolderProfileTest, MissingProfileOrColumnsEndTheFolder) {
  cx.items.ProfileObject.reset();
  EXPECT_FALSE(Fill());
  EXPECT_TRUE(Log().contains(QStringLiteral("Warning: The profile object is no longer set - cannot continue")));
  cx.items.ProfileObject = std::make_shared<FakeProfile>(Law);
  EXPECT_FALSE(Fill());
  EXPECT_TRUE(Log().contains(QStringLiteral("Warning: The profile object contains no columns - cannot continue")));
}

TEST_F(FillFolderProfileTest, EmptyColumnsTakeTheParentsValues) {
  const qint64 parent = ParentFolder();
  auto profile = NewProfile();
  const FakeColumnPtr mail = profile->Add(QStringLiteral("PD_EMAIL_ADDRESS"));
  const FakeColumnPtr otherCase = profile->Add(QStringLiteral("Client_Id"));
  ASSERT_TRUE(Fill(parent, QStringLiteral("lawlib")));
  EXPECT_EQ(V(client), QStringLiteral("C0002"));
  EXPECT_EQ(V(type), QStringLiteral("CORR"));
  EXPECT_EQ(V(docname), QStringLiteral("New Folder"));
  EXPECT_EQ(mail->writes, 0);  // the parent's value is empty
  EXPECT_EQ(otherCase->writes, 0);
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("Opening profile object #") + N(parent) + QStringLiteral(" in library lawlib")));
  EXPECT_TRUE(log.contains(QStringLiteral("SyncProfile object #") + N(parent) + QStringLiteral(" opened in library LAWLIB")));
  EXPECT_TRUE(log.contains(QStringLiteral("Retrieving profile columns from document #") + N(parent)));
}

TEST_F(FillFolderProfileTest, ParentThatCannotBeOpenedGivesNoValues) {
  ParentFolder();
  NewProfile();
  ASSERT_TRUE(Fill(999999, Law));
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to assign SyncProfile object #999999 in library LAWLIB")));
  EXPECT_EQ(V(type), QStringLiteral("FOLDER"));

  NewProfile();
  ASSERT_TRUE(Fill(ParentFolder(), QStringLiteral("NOLIB")));
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to assign SyncProfile object #")));
  EXPECT_EQ(V(client), QString());

  NewProfile();
  ASSERT_TRUE(Fill(ParentFolder(), QString()));
  EXPECT_EQ(V(client), QString());
}

}  // namespace
}  // namespace sw
