-- Corvanta database schema.
-- Field order is significant: the contact list and the backup file address fields by position.
-- Keys are AUTOINCREMENT: a key once given out is never given to another row.
-- Statements are separated by a line holding only ";;" so that trigger bodies may contain ";".

CREATE TABLE IF NOT EXISTS "Contact Types" (
    ContactTypeID INTEGER PRIMARY KEY AUTOINCREMENT,
    ContactType   TEXT
)
;;
CREATE TABLE IF NOT EXISTS Contacts (
    ContactID         INTEGER PRIMARY KEY AUTOINCREMENT,
    FirstName         TEXT,
    LastName          TEXT,
    Dear              TEXT,
    Address           TEXT,
    City              TEXT,
    StateOrProvince   TEXT,
    PostalCode        TEXT,
    Region            TEXT,
    Country           TEXT,
    CompanyName       TEXT,
    Title             TEXT,
    EmailName         TEXT,
    WorkPhone         TEXT,
    WorkExtension     TEXT,
    HomePhone         TEXT,
    MobilePhone       TEXT,
    FaxNumber         TEXT,
    Notes             TEXT,
    ContactTypeID     INTEGER,
    ReferredBy        TEXT,
    MaritalStatus     TEXT,
    Hometown          TEXT,
    SpouseName        TEXT,
    Birthdate         TEXT,
    ContactsInterests TEXT,
    SpousesInterests  TEXT,
    ChildrenNames     TEXT
)
;;
CREATE TABLE IF NOT EXISTS Calls (
    CallID    INTEGER PRIMARY KEY AUTOINCREMENT,
    ContactID INTEGER,
    CallDate  TEXT,
    CallTime  TEXT,
    Subject   TEXT,
    Notes     TEXT
)
;;
CREATE INDEX IF NOT EXISTS idxCallsContactID ON Calls (ContactID)
;;
-- A thin copy of the key order: the contact list counts and pages through it
-- without reading the wide rows of the table.
CREATE INDEX IF NOT EXISTS idxContactsOrder ON Contacts (ContactID)
;;
CREATE INDEX IF NOT EXISTS idxCallsCallDate ON Calls (CallDate)
;;
CREATE INDEX IF NOT EXISTS idxContactsContactTypeID ON Contacts (ContactTypeID)
;;
CREATE INDEX IF NOT EXISTS idxContactTypesContactType ON "Contact Types" (ContactType)
;;
-- The six saved queries of the printed reports. A file from an older
-- installation whose queries differ from these gets them replaced when a
-- report reads them (store/ReportStore). Every contact and every call is in a
-- detail row; the order a person reads is made by the program after reading.
--
-- Alphabetical Contact Listing: one group per contact type, contacts of that
-- type under it; contacts without a type or with a deleted type under ''.
CREATE VIEW IF NOT EXISTS qryRep1A AS
SELECT t.ContactTypeID AS FirstLetter, t.ContactType AS ContactType
FROM "Contact Types" AS t
WHERE EXISTS (SELECT 1 FROM Contacts AS c WHERE c.ContactTypeID = t.ContactTypeID)
UNION ALL
SELECT '' AS FirstLetter, NULL AS ContactType
WHERE EXISTS (SELECT 1 FROM Contacts AS c
              WHERE NOT EXISTS (SELECT 1 FROM "Contact Types" AS t WHERE t.ContactTypeID = c.ContactTypeID))
;;
CREATE VIEW IF NOT EXISTS qryRep1B AS
SELECT CASE WHEN t.ContactTypeID IS NULL THEN '' ELSE t.ContactTypeID END AS FirstLetter,
       TRIM(COALESCE(c.FirstName, '') || ' ' || COALESCE(c.LastName, '')) AS fld01,
       c.CompanyName, c.Title, c.WorkPhone, c.WorkExtension, c.FaxNumber, c.ContactID,
       c.LastName, c.FirstName
FROM Contacts AS c LEFT JOIN "Contact Types" AS t ON t.ContactTypeID = c.ContactTypeID
;;
-- Call History: one group per first letter of the last name, the calls of
-- those contacts under it; calls whose contact is gone have no name.
CREATE VIEW IF NOT EXISTS qryRep2B AS
SELECT UPPER(SUBSTR(TRIM(COALESCE(c.LastName, ''), ' ' || CHAR(9) || CHAR(10) || CHAR(13)), 1, 1)) AS FirstLetter,
       TRIM(COALESCE(c.FirstName, '') || ' ' || COALESCE(c.LastName, '')) AS fld01,
       k.CallDate, k.CallTime, k.Subject, k.Notes, k.ContactID, k.CallID, c.LastName, c.FirstName
FROM Calls AS k LEFT JOIN Contacts AS c ON c.ContactID = k.ContactID
;;
CREATE VIEW IF NOT EXISTS qryRep2A AS
SELECT DISTINCT FirstLetter FROM qryRep2B
;;
-- Weekly Call Summary: the calls of the seven days ending today, grouped by
-- the date part of CallDate (a stored date may carry a time of day).
CREATE VIEW IF NOT EXISTS qryRep3B AS
SELECT SUBSTR(k.CallDate, 1, 10) AS CallDate,
       TRIM(COALESCE(c.FirstName, '') || ' ' || COALESCE(c.LastName, '')) AS fld01,
       k.CallTime, k.Subject, c.WorkPhone, c.WorkExtension, c.FaxNumber, k.CallID
FROM Calls AS k LEFT JOIN Contacts AS c ON c.ContactID = k.ContactID
WHERE k.CallDate >= DATE('now', 'localtime', '-6 days') AND k.CallDate < DATE('now', 'localtime', '+1 day')
;;
CREATE VIEW IF NOT EXISTS qryRep3A AS
SELECT DISTINCT CallDate FROM qryRep3B
;;
-- Search by the beginning of a field: one case-insensitive index per searched field.
CREATE INDEX IF NOT EXISTS idxContactsFirstNameNoCase ON Contacts (FirstName COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsLastNameNoCase ON Contacts (LastName COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsAddressNoCase ON Contacts (Address COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsCityNoCase ON Contacts (City COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsStateOrProvinceNoCase ON Contacts (StateOrProvince COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsPostalCodeNoCase ON Contacts (PostalCode COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsRegionNoCase ON Contacts (Region COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsCountryNoCase ON Contacts (Country COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsCompanyNameNoCase ON Contacts (CompanyName COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsTitleNoCase ON Contacts (Title COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsEmailNameNoCase ON Contacts (EmailName COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsSpouseNameNoCase ON Contacts (SpouseName COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsMaritalStatusNoCase ON Contacts (MaritalStatus COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsSpousesInterestsNoCase ON Contacts (SpousesInterests COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsChildrenNamesNoCase ON Contacts (ChildrenNames COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsHometownNoCase ON Contacts (Hometown COLLATE NOCASE)
;;
CREATE INDEX IF NOT EXISTS idxContactsContactsInterestsNoCase ON Contacts (ContactsInterests COLLATE NOCASE)
;;
-- The lasting identity of each contact (the UID other address books and
-- servers know it by), kept apart from the contact's own columns. A contact
-- gets one when it is first needed; a deleted contact's row goes with it.
CREATE TABLE IF NOT EXISTS ContactUids (
    ContactID INTEGER PRIMARY KEY REFERENCES Contacts(ContactID) ON DELETE CASCADE,
    Uid       TEXT NOT NULL UNIQUE
)
