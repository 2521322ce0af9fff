// The folder look-up: how a name and a parse setting become the search, which folder wins at the
// top level and under a parent, the stamp of an adopted folder, the rename of a loose match, and
// the failures.
#include <gtest/gtest.h>

#include "filing_session.h"
#include "folders/check_for_folder.h"
#include "folders/folders.h"
#include "rules/rule_table.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

// ---- the search pattern ----

TEST(FolderSearchPattern, BlankRunsShrinkToOneBlank) {
  EXPECT_EQ(NormaliseFolderName(QStringLiteral("A  B   C")), QStringLiteral("A B C"));
  EXPECT_EQ(NormaliseFolderName(QStringLiteral("   Lead")), QStringLiteral(" Lead"));
  EXPECT_EQ(NormaliseFolderName(QStringLiteral("Tail    ")), QStringLiteral("Tail "));
  EXPECT_EQ(NormaliseFolderName(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(FolderSearchPattern, ParseSettingGivesCountAndText) {
  const ParseSetting tail = ReadParseSetting(QStringLiteral(" -4"));
  EXPECT_EQ(tail.Count, -4);
  EXPECT_EQ(ReadParseSetting(QStringLiteral("3")).Count, 3);
  const ParseSetting cut = ReadParseSetting(QStringLiteral(" ab \\cd"));
  EXPECT_EQ(cut.Count, 0);
  EXPECT_EQ(cut.Text, QStringLiteral("AB"));
  const ParseSetting counted = ReadParseSetting(QStringLiteral("5\\x"));
  EXPECT_EQ(counted.Count, 5);
  EXPECT_EQ(counted.Text, QStringLiteral("5"));
  EXPECT_EQ(ReadParseSetting(QStringLiteral("\\x")).Text, QString());
  EXPECT_EQ(ReadParseSetting(QStringLiteral("2.6")).Count, 3);
  EXPECT_EQ(ReadParseSetting(QStringLiteral("-2.6")).Count, -3);
}

TEST(FolderSearchPattern, ModesOnOneName) {
  const QString name = QStringLiteral("SMITH - 1234");
  auto pattern = [&](const QString& parse) { return FolderSearchPattern(name, ReadParseSetting(parse)).Shown(); };
  EXPECT_EQ(pattern(QStringLiteral("-4")), QStringLiteral("%1234"));
  EXPECT_EQ(pattern(QStringLiteral("3")), QStringLiteral("SMI%"));
  EXPECT_EQ(pattern(QStringLiteral("-")), QStringLiteral("SMITH -%"));
  EXPECT_EQ(pattern(QStringLiteral("X")), name);  // not in the name: exact match
  EXPECT_EQ(pattern(QString()), name);
  EXPECT_EQ(pattern(QStringLiteral("\\-")), name);  // nothing before the backslash
  EXPECT_EQ(pattern(QStringLiteral("-40")), QStringLiteral("%") + name);
  EXPECT_EQ(pattern(QStringLiteral("6")), QStringLiteral("SMITH%"));  // the cut is trimmed
  EXPECT_EQ(pattern(QStringLiteral("-5")), QStringLiteral("%1234"));
}

TEST(FolderSearchPattern, CutKeepsTheNamesCaseAndZeroIsAParseText) {
  EXPECT_EQ(FolderSearchPattern(QStringLiteral("Smith-Jones"), ReadParseSetting(QStringLiteral("-j"))).Shown(),
            QStringLiteral("Smith-%"));
  EXPECT_EQ(FolderSearchPattern(QStringLiteral("Case 2024 0B"), ReadParseSetting(QStringLiteral("0"))).Shown(),
            QStringLiteral("Case 20%"));
  EXPECT_EQ(FolderSearchPattern(QStringLiteral("No digit"), ReadParseSetting(QStringLiteral("0"))).Shown(),
            QStringLiteral("No digit"));
}

TEST(FolderSearchPattern, NameIsMatchedAsTextCutToWhatDocnameHolds) {
  const auto like = [](const QString& name, const QString& parse, qint64 engine) {
    return FolderNameLike(FolderSearchPattern(name, ReadParseSetting(parse)), engine);
  };
  EXPECT_EQ(like(QStringLiteral("o'brien [draft] 100%"), QString(), 10), QStringLiteral("LIKE 'O''BRIEN [[]DRAFT] 100[%]'"));
  EXPECT_EQ(like(QStringLiteral("C_002"), QStringLiteral("-4"), 10), QStringLiteral("LIKE '%[_]002'"));
  EXPECT_EQ(like(QStringLiteral("Z_1 Ltd"), QStringLiteral("3"), 10), QStringLiteral("LIKE 'Z[_]1%'"));
  // Oracle reads a bracket as itself and escapes with a backslash only where one is needed.
  EXPECT_EQ(like(QStringLiteral("o'brien [draft]"), QString(), 2), QStringLiteral("LIKE 'O''BRIEN [DRAFT]'"));
  EXPECT_EQ(like(QStringLiteral("C_002"), QStringLiteral("-4"), 5), QStringLiteral("LIKE '%\\_002' ESCAPE '\\'"));
  EXPECT_EQ(like(QStringLiteral("a\\b 5%"), QString(), 2), QStringLiteral("LIKE 'A\\\\B 5\\%' ESCAPE '\\'"));
  const QString longName = QString(239, QLatin1Char('a')) + QStringLiteral(" bcd");
  EXPECT_EQ(StoredFolderName(longName), QString(239, QLatin1Char('a')));
  EXPECT_EQ(like(longName, QString(), 10), QStringLiteral("LIKE '") + QString(239, QLatin1Char('A')) + QStringLiteral("'"));
  EXPECT_EQ(like(longName, QStringLiteral("300"), 10), QStringLiteral("LIKE '") + QString(239, QLatin1Char('A')) + QStringLiteral("%'"));
}

TEST(FolderPathStampTest, StampNamesTheRuleAndAnyRuleCounts) {
  EXPECT_EQ(FolderPathStamp(QStringLiteral("CLIENT MATTERS")), QStringLiteral("QUILLMARK CLIENT MATTERS"));
  EXPECT_EQ(FolderPathStamp(QStringLiteral("O'NEIL ")), QStringLiteral("QUILLMARK O''NEIL"));
  EXPECT_TRUE(IsStampedPath(QStringLiteral("quillmark other rule")));
  EXPECT_TRUE(IsStampedPath(QStringLiteral("QUILLMARK")));
  EXPECT_FALSE(IsStampedPath(QStringLiteral("QUILL")));
  EXPECT_FALSE(IsStampedPath(QStringLiteral(" QUILLMARK X")));
  EXPECT_FALSE(IsStampedPath(QString()));
}

// ---- look-ups on the demo libraries ----

class CheckForFolderTest : public test::FilingSession {
 protected:
  void SetUp() override {
    FilingSession::SetUp();
    rule = AddRule(QStringLiteral("LOOKUP RULE"), 0);
    publicRule = AddRule(QStringLiteral("PUBLIC RULE"), 1);
  }
  int AddRule(const QString& name, int publicFolders) {
    const int n = cx.rules.RuleTable.AddRule();
    cx.rules.RuleTable.Set(field::RuleName, n, name);
    cx.rules.RuleTable.Set(field::RULE_CREATE_PUBLIC_FOLDERS, n, QString::number(publicFolders));
    return n;
  }
  qint64 Folder(const QString& library, const QString& name, bool isPublic = false) {
    dm::DmFolderPtr folder = SessionLibrary(library)->NewFolder();
    folder->SetFolderName(name);
    folder->SetPublic(isPublic);
    EXPECT_TRUE(folder->Save(3)) << folder->Error.ErrDescription.toStdString();
    return folder->DocNumber();
  }
  void FileSubfolder(const QString& library, qint64 parent, qint64 child) {
    dm::DmFolderPtr folder = SessionLibrary(library)->OpenFolder(parent);
    ASSERT_TRUE(folder);
    ASSERT_TRUE(folder->AddSubfolder(SessionLibrary(library)->OpenFolder(child)));
  }
  QString PathOf(const QString& library, qint64 folder) {
    return server.Scalar(library, QStringLiteral("SELECT PATH FROM FOLDER WHERE DOCNUMBER = %1").arg(folder));
  }
  QString NameOf(const QString& library, qint64 doc) {
    return server.Scalar(library, QStringLiteral("SELECT DOCNAME FROM PROFILE WHERE DOCNUMBER = %1").arg(doc));
  }
  QString DisplayName(const QString& library, qint64 parent, qint64 doc) {
    return server.Scalar(library, QStringLiteral("SELECT DISPLAYNAME FROM FOLDER_ITEM WHERE PARENT = %1 AND DOCNUMBER = %2")
                                      .arg(parent)
                                      .arg(doc));
  }
  qint64 Look(const QString& name, const QString& parse = QString(), qint64 parent = 0, const QString& folderLibrary = Law,
              const QString& itemLibrary = Law, int withRule = 0) {
    return CheckForFolder(cx, name, parse, parent, withRule ? withRule : rule, folderLibrary, itemLibrary);
  }
  int rule = 0;
  int publicRule = 0;
};

TEST_F(CheckForFolderTest, EmptyNameLooksForNothing) {
  const QString logBefore = Log();
  const size_t statementsBefore = statements->items.size();
  EXPECT_EQ(Look(QString()), 0);
  EXPECT_EQ(Log(), logBefore);
  EXPECT_EQ(statements->items.size(), statementsBefore);
  EXPECT_EQ(Current(), Law);
}

TEST_F(CheckForFolderTest, TopLevelPrefersTheNewestStampedFolderAndStampsWhatItAdopts) {
  const qint64 older = Folder(Law, QStringLiteral("Acme Holdings"));
  const qint64 newer = Folder(Law, QStringLiteral("ACME HOLDINGS"));
  EXPECT_EQ(Look(QStringLiteral("acme  holdings")), newer);
  EXPECT_EQ(PathOf(Law, newer), QStringLiteral("QUILLMARK LOOKUP RULE"));
  EXPECT_EQ(PathOf(Law, older), QString());
  EXPECT_TRUE(Log().contains(QStringLiteral("Checking for existence of a folder named \"acme holdings\" in library LAWLIB")));
  EXPECT_TRUE(Log().contains(QStringLiteral("Folder #") + N(newer) + QStringLiteral(" found and will be used")));

  // A still newer twin without the stamp loses to the stamped one.
  const qint64 newest = Folder(Law, QStringLiteral("Acme Holdings"));
  EXPECT_EQ(Look(QStringLiteral("Acme Holdings")), newer);
  EXPECT_EQ(PathOf(Law, newest), QString());
}

TEST_F(CheckForFolderTest, FolderStampedForAnotherRuleIsUsedAsItIs) {
  const qint64 folder = Folder(Law, QStringLiteral("Globex"));
  server.Exec(Law, QStringLiteral("UPDATE FOLDER SET PATH = 'QUILLMARK OTHER RULE' WHERE DOCNUMBER = %1").arg(folder));
  EXPECT_EQ(Look(QStringLiteral("Globex")), folder);
  EXPECT_EQ(PathOf(Law, folder), QStringLiteral("QUILLMARK OTHER RULE"));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("UPDATE DOCSADM.FOLDER SET PATH")), 0);
}

TEST_F(CheckForFolderTest, PublicRuleFindsOnlyRootFoldersOtherRulesOnlyUnfiledOnes) {
  const qint64 root = Folder(Law, QStringLiteral("Initech"), true);
  const qint64 parent = Folder(Law, QStringLiteral("Some Parent"));
  const qint64 loose = Folder(Law, QStringLiteral("Initech"));
  const qint64 filed = Folder(Law, QStringLiteral("Initech"));
  FileSubfolder(Law, parent, filed);

  // The newest folder not filed as a subfolder; the newer filed one is passed over.
  EXPECT_EQ(Look(QStringLiteral("Initech")), loose);
  EXPECT_FALSE(Log().contains(QStringLiteral("The search will be for a Public Folder")));
  EXPECT_EQ(Look(QStringLiteral("Initech"), QString(), 0, Law, Law, publicRule), root);
  EXPECT_TRUE(Log().contains(QStringLiteral("The search will be for a Public Folder")));
  EXPECT_EQ(PathOf(Law, filed), QString());
}

TEST_F(CheckForFolderTest, TopLevelMissLogsTheSqlObjectsCodes) {
  EXPECT_EQ(Look(QStringLiteral("No Such Folder")), 0);
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("pSQL codes:")));
  EXPECT_TRUE(log.contains(QStringLiteral("GetSQLErrorCode: 0")));
  EXPECT_TRUE(log.contains(QStringLiteral("GetRowCount:     0")));
  EXPECT_TRUE(log.contains(QStringLiteral("Top-level folder \"No Such Folder\" not found in library LAWLIB")));
}

TEST_F(CheckForFolderTest, WildcardsAndBracketsInTheNameMatchOnlyThemselves) {
  const qint64 folder = Folder(Law, QStringLiteral("ABCD"));
  const qint64 percent = Folder(Law, QStringLiteral("Rate 100"));
  EXPECT_EQ(Look(QStringLiteral("AB_D")), 0);
  EXPECT_EQ(Look(QStringLiteral("Rate 100%")), 0);
  EXPECT_EQ(Look(QStringLiteral("[AB]CD")), 0);
  const qint64 bracketed = Folder(Law, QStringLiteral("[AB]CD"));
  EXPECT_EQ(Look(QStringLiteral("[ab]cd")), bracketed);
  // The wildcard of a count match still matches; the name's own do not.
  EXPECT_EQ(Look(QStringLiteral("XBCD"), QStringLiteral("-3")), folder);
  EXPECT_EQ(Look(QStringLiteral("R_te 100"), QStringLiteral("-3")), percent);
  EXPECT_EQ(Look(QStringLiteral("Rate 10_"), QStringLiteral("-3")), 0);
}

TEST_F(CheckForFolderTest, BracketedNameIsFoundOnOracleToo) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  const int oraRule = AddRule(QStringLiteral("ORA RULE"), 0);
  const qint64 folder = Folder(Ora, QStringLiteral("[Draft] Papers"));
  EXPECT_EQ(CheckForFolder(cx, QStringLiteral("[draft] papers"), QString(), 0, oraRule, Ora, Ora), folder);
  EXPECT_EQ(PathOf(Ora, folder), QStringLiteral("QUILLMARK ORA RULE"));
}

TEST_F(CheckForFolderTest, LongNameIsSearchedOnItsFirst240Characters) {
  const QString stem = QString(240, QLatin1Char('L'));
  const qint64 folder = Folder(Law, stem);
  EXPECT_EQ(Look(stem + QStringLiteral(" second")), folder);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("LIKE '") + stem + QStringLiteral("'")), 1);
}

TEST_F(CheckForFolderTest, LibraryNamesAreQuotedInTheStatement) {
  const qint64 parent = Folder(Law, QStringLiteral("Parent"));
  EXPECT_EQ(Look(QStringLiteral("Child"), QString(), parent, QStringLiteral("O'LIB"), QStringLiteral("O'LIB")), 0);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("PL.LIBRARY_NAME = 'O''LIB'")), 1);
  EXPECT_FALSE(Log().contains(QStringLiteral("Unable to process SQL statement")));
}

TEST_F(CheckForFolderTest, FailedSearchAnswersMinusOneAndSwitchesBack) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  test::FailStatements(cx, statements, QStringLiteral("LIKE 'GLOBEX'"));
  Folder(Law, QStringLiteral("Globex"));
  EXPECT_EQ(Look(QStringLiteral("Globex")), -1);
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to process SQL statement to locate the folder 'Globex'")));
  EXPECT_FALSE(Log().contains(QStringLiteral("\"Globex\" not found")));
  EXPECT_FALSE(Log().contains(QStringLiteral("found and will be used")));
  EXPECT_EQ(Current(), Law);
}

TEST_F(CheckForFolderTest, ErrorCodeNineCountsAsSuccess) {
  cx.dm->Server()->hooks.sqlFault = [](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.contains(QStringLiteral("LIKE 'HOOLI'"))) return dm::SqlFault{1, 9, QStringLiteral("No rows")};
    return std::nullopt;
  };
  EXPECT_EQ(Look(QStringLiteral("Hooli")), 0);
  EXPECT_FALSE(Log().contains(QStringLiteral("Unable to process SQL statement")));
  EXPECT_TRUE(Log().contains(QStringLiteral("Top-level folder \"Hooli\" not found in library LAWLIB")));
}

TEST_F(CheckForFolderTest, SubfolderIsFoundUnderItsParentOnly) {
  const qint64 parent = Folder(Law, QStringLiteral("Client A"));
  const qint64 other = Folder(Law, QStringLiteral("Client B"));
  const qint64 child = Folder(Law, QStringLiteral("Matter 1"));
  FileSubfolder(Law, parent, child);
  EXPECT_EQ(Look(QStringLiteral("MATTER 1"), QString(), parent), child);
  EXPECT_TRUE(Log().contains(QStringLiteral("Checking for existence of a folder item named \"MATTER 1\" in parent folder #") +
                             N(parent) + QStringLiteral(" in library LAWLIB")));
  EXPECT_EQ(Look(QStringLiteral("Matter 1"), QString(), other), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Match on folder item \"Matter 1\" not found in parent folder #") + N(other) +
                             QStringLiteral(" in library LAWLIB")));
  // A folder filed under a parent carries no stamp of the look-up.
  EXPECT_EQ(PathOf(Law, child), QString());
}

TEST_F(CheckForFolderTest, CountMatchWithANewNameRenamesProfileAndFiling) {
  const qint64 parent = Folder(Law, QStringLiteral("Client A"));
  const qint64 child = Folder(Law, QStringLiteral("SMITH - 1234 Old Title"));
  FileSubfolder(Law, parent, child);
  EXPECT_EQ(Look(QStringLiteral("Jones  - 1234 Old Title"), QStringLiteral("-14"), parent), child);
  EXPECT_EQ(NameOf(Law, child), QStringLiteral("Jones - 1234 Old Title"));
  EXPECT_EQ(DisplayName(Law, parent, child), QStringLiteral("Jones - 1234 Old Title"));
  EXPECT_TRUE(Log().contains(QStringLiteral("Changing the profile name to \"Jones - 1234 Old Title\" for folder #") + N(child) +
                             QStringLiteral(" in library LAWLIB")));
  EXPECT_TRUE(Log().contains(QStringLiteral(" parsing -14 character(s)")));
}

TEST_F(CheckForFolderTest, CaseOnlyDifferenceAndCharacterModeNeverRename) {
  const qint64 parent = Folder(Law, QStringLiteral("Client A"));
  const qint64 child = Folder(Law, QStringLiteral("Smith - 1234"));
  FileSubfolder(Law, parent, child);
  EXPECT_EQ(Look(QStringLiteral("SMITH - 1234"), QStringLiteral("3"), parent), child);
  EXPECT_EQ(Look(QStringLiteral("Smith - 9999"), QStringLiteral("-"), parent), child);
  EXPECT_TRUE(Log().contains(QStringLiteral(" using parse character(s) \"-\"")));
  EXPECT_EQ(NameOf(Law, child), QStringLiteral("Smith - 1234"));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("SET DOCNAME")), 0);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("SET DISPLAYNAME")), 0);
}

TEST_F(CheckForFolderTest, RenameAcrossLibrariesUpdatesTheFilingRowInEach) {
  // A LAWLIB parent holding an ORALIB folder: LAWLIB keeps the filing, ORALIB the row for it.
  const qint64 parent = Folder(Law, QStringLiteral("Client A"));
  const qint64 child = Folder(Ora, QStringLiteral("Patent 77 draft"));
  dm::DmFolderPtr parentFolder = SessionLibrary(Law)->OpenFolder(parent);
  ASSERT_TRUE(parentFolder->AddSubfolder(SessionLibrary(Ora)->OpenFolder(child)));
  server.Exec(Ora, QStringLiteral("INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, DISPLAYNAME, "
                                  "NODE_TYPE, ISFIRST, \"NEXT\") SELECT 990001, %1, SYSTEM_ID, %2, 0, 'Patent 77 draft', 'F', "
                                  "'Y', 0 FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LAWLIB'")
                           .arg(parent)
                           .arg(child));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  const int oraRule = AddRule(QStringLiteral("ORA RULE"), 0);
  EXPECT_EQ(CheckForFolder(cx, QStringLiteral("Patent 77 final"), QStringLiteral("9"), parent, oraRule, Law, Ora), child);
  EXPECT_EQ(NameOf(Ora, child), QStringLiteral("Patent 77 final"));
  EXPECT_EQ(DisplayName(Ora, parent, child), QStringLiteral("Patent 77 final"));
  EXPECT_EQ(DisplayName(Law, parent, child), QStringLiteral("Patent 77 final"));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("UPDATE DOCSADM.PROFILE SET DOCNAME")), 1);
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("SET DISPLAYNAME")), 1);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("SET DISPLAYNAME")), 1);
  EXPECT_EQ(Current(), Ora);
}

}  // namespace
}  // namespace sw
