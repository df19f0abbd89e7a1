// Cards and CSV files as other address books write them, read into the
// fields a person expects.
#include "support/TestSupport.h"

#include "exchange/ContactFileReader.h"
#include "exchange/CsvMappingDialog.h"
#include "exchange/CsvFormat.h"
#include "exchange/VCardMapping.h"

#include <QBuffer>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QtTest>

using namespace exchange;

namespace {
QByteArray crlf(const char *text)
{
    return QByteArray(text).replace("\n", "\r\n");
}

ContactRecord onlyCard(const QByteArray &bytes)
{
    const VCardImport read = readVCards(bytes);
    if (read.contacts.size() != 1)
        qFatal("expected one card, read %d", int(read.contacts.size()));
    return read.contacts.first();
}

QStringList noteLines(const ContactRecord &record)
{
    return record[Notes].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Reads a CSV file through the same reader as an import.
struct CsvRead {
    QList<ContactRecord> records;
    QStringList problems;
    QList<int> mapping;
};
CsvRead readCsvFile(const QByteArray &bytes, const QList<int> &mapping = {})
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    if (!mapping.isEmpty())
        reader.setMapping(mapping);
    CsvRead read;
    read.mapping = reader.mapping();
    ContactRecord record;
    while (reader.next(record))
        read.records << record;
    read.problems = reader.problems();
    return read;
}
} // namespace

class ExchangeInteropTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void iPhoneCardWithGroupedLabels();
    void macCardAddressesAndEscapes();
    void androidCardPhonesAndExtensions();
    void gmailCardWholeAddressInExtendedPart();
    void outlookCardFaxAndUntypedNumbers();
    void evolutionCardRelationsAndUri();
    void thunderbirdCardVersion4();
    void cardsCutShortOrHoldingNulBytes();
    void ownExportKeepsExtensionUidAndEmptyTexts();

    void googleContactsCsv();
    void outlookCsv();
    void thunderbirdCsv();
    void germanLibreOfficeSheet();
    void dateOrderIsDecidedPerColumn();
    void unclosedQuoteEndsItsRowOnly();
    void mappingDialogOffersCaptionsAndTheDateOrder();

private:
    IsolatedEnvironment env; // the dialog remembers its choices in the settings
};

void ExchangeInteropTest::iPhoneCardWithGroupedLabels()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "PRODID:-//Apple Inc.//iPhone OS 17.1//EN\n"
        "N:Appleseed;John;;;\n"
        "FN:John Appleseed\n"
        "ORG:Apple Inc.;\n"
        "TITLE:Engineer\n"
        "EMAIL;type=INTERNET;type=WORK;type=pref:john@example.com\n"
        "TEL;type=CELL;type=VOICE;type=pref:+1 (408) 555-0100\n"
        "TEL;type=HOME;type=VOICE:+1 (408) 555-0101\n"
        "item1.TEL:+1 (408) 555-0199\n"
        "item1.X-ABLabel:_$!<Other>!$_\n"
        "item2.URL;type=pref:http\\://www.example.com/~john\n"
        "item2.X-ABLabel:_$!<HomePage>!$_\n"
        "item3.X-ABRELATEDNAMES;type=pref:Jane Appleseed\n"
        "item3.X-ABLabel:_$!<Spouse>!$_\n"
        "item4.X-ABRELATEDNAMES:Tim Appleseed\n"
        "item4.X-ABLabel:_$!<Child>!$_\n"
        "item5.X-ABRELATEDNAMES:Kim Appleseed\n"
        "item5.X-ABLabel:_$!<Child>!$_\n"
        "item6.X-ABRELATEDNAMES:Bob Jones\n"
        "item6.X-ABLabel:_$!<Assistant>!$_\n"
        "item7.X-ABDATE;type=pref:2004-06-12\n"
        "item7.X-ABLabel:_$!<Anniversary>!$_\n"
        "item8.X-ABRELATEDNAMES:Mary Miller\n"
        "item8.X-ABLabel:referred by\n"
        "NOTE:Met at WWDC\\, said \\\"hi\\\"\n"
        "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\n"
        "UID:6C2F7C58-0C2B-4A8B-9E34-4E0B6C4B1A11\n"
        "END:VCARD\n"));
    QCOMPARE(r[FirstName], QStringLiteral("John"));
    QCOMPARE(r[LastName], QStringLiteral("Appleseed"));
    QCOMPARE(r[CompanyName], QStringLiteral("Apple Inc."));
    QCOMPARE(r[MobilePhone], QStringLiteral("+1 (408) 555-0100"));
    QCOMPARE(r[HomePhone], QStringLiteral("+1 (408) 555-0101"));
    QCOMPARE(r[WorkPhone], QString()); // "Other" is no business number
    QCOMPARE(r[SpouseName], QStringLiteral("Jane Appleseed"));
    QCOMPARE(r[ChildrenNames], QStringLiteral("Tim Appleseed, Kim Appleseed"));
    QCOMPARE(r[ReferredBy], QStringLiteral("Mary Miller"));
    QCOMPARE(r.uid, QStringLiteral("6C2F7C58-0C2B-4A8B-9E34-4E0B6C4B1A11"));
    const QStringList notes = noteLines(r);
    QVERIFY2(notes.contains(QStringLiteral("Met at WWDC, said \"hi\"")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Web page (HomePage): http://www.example.com/~john")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Assistant: Bob Jones")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Anniversary: 2004-06-12")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Phone (Other): +1 (408) 555-0199")), qPrintable(r[Notes]));
    QVERIFY2(!r[Notes].contains(QLatin1String("ABLabel"), Qt::CaseInsensitive), qPrintable(r[Notes]));
    QVERIFY2(!r[Notes].contains(QLatin1String("\\")), qPrintable(r[Notes]));
}

void ExchangeInteropTest::macCardAddressesAndEscapes()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "PRODID:-//Apple Inc.//Mac OS X 10.15.7//EN\n"
        "N:Müller;Jürgen;;Dr.;\n"
        "FN:Dr. Jürgen Müller\n"
        "item1.ADR;type=WORK;type=pref:;Suite 400;1 Infinite Loop;Cupertino;CA;95014;USA\n"
        "item1.X-ABADR:us\n"
        "item2.ADR;type=HOME:PO Box 12;;;Cupertino;CA;95015;USA\n"
        "item3.EMAIL;type=INTERNET:j\\:m@example.org\n"
        "item3.X-ABLabel:School\n"
        "EMAIL;type=INTERNET;type=HOME:juergen@example.de\n"
        "X-SOCIALPROFILE;type=twitter:http\\://twitter.com/jm\n"
        "END:VCARD\n"));
    QCOMPARE(r[Address], QStringLiteral("1 Infinite Loop\nSuite 400"));
    QCOMPARE(r[City], QStringLiteral("Cupertino"));
    QCOMPARE(r[StateOrProvince], QStringLiteral("CA"));
    QCOMPARE(r[PostalCode], QStringLiteral("95014"));
    QCOMPARE(r[Country], QStringLiteral("USA"));
    QCOMPARE(r[EmailName], QStringLiteral("j:m@example.org"));
    const QStringList notes = noteLines(r);
    QVERIFY2(notes.contains(QStringLiteral("Name prefix: Dr.")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("E-mail (home): juergen@example.de")), qPrintable(r[Notes]));
    // The second address is kept whole, its PO box with it; the first had none.
    QVERIFY2(notes.contains(QStringLiteral("Address (home): PO Box 12, Cupertino, CA, 95015, USA")), qPrintable(r[Notes]));
    QVERIFY2(!r[Notes].contains(QLatin1String("Post office box")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("X-SOCIALPROFILE: http://twitter.com/jm")), qPrintable(r[Notes]));

    // Only a real PO box is labelled so.
    const ContactRecord box = onlyCard(crlf("BEGIN:VCARD\nVERSION:3.0\nN:Box;Ann;;;\n"
                                            "ADR;TYPE=WORK:PO Box 77;;;Springfield;IL;62701;USA\nEND:VCARD\n"));
    QCOMPARE(noteLines(box), QStringList{QStringLiteral("Post office box: PO Box 77")});
    QCOMPARE(box[Address], QString());
    QCOMPARE(box[City], QStringLiteral("Springfield"));
}

void ExchangeInteropTest::androidCardPhonesAndExtensions()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:2.1\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=96zt=C3=BCrk;Ay=C5=9Fe;;;\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Ay=C5=9Fe =C3=96zt=C3=BCrk\n"
        "TEL;CELL:+90 532 555 01 02\n"
        "TEL;WORK:+90 212 555 01 03 x204\n"
        "TEL;HOME;FAX:+90 212 555 01 09\n"
        "TEL;WORK;FAX:+90 212 555 01 04\n"
        "TEL;PAGER:+90 212 555 01 05\n"
        "EMAIL;HOME:ayse@example.com.tr\n"
        "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;Ayşo;1;;;;;;;;;;;;;\n"
        "BDAY:1985-04-23\n"
        "END:VCARD\n"));
    QCOMPARE(r[FirstName], QStringLiteral("Ayşe"));
    QCOMPARE(r[LastName], QStringLiteral("Öztürk"));
    QCOMPARE(r[MobilePhone], QStringLiteral("+90 532 555 01 02"));
    QCOMPARE(r[WorkPhone], QStringLiteral("+90 212 555 01 03"));
    QCOMPARE(r[WorkExtension], QStringLiteral("204"));
    QCOMPARE(r[FaxNumber], QStringLiteral("+90 212 555 01 04")); // the work fax, though the home fax came first
    QCOMPARE(r[Birthdate], QStringLiteral("1985-04-23"));
    const QStringList notes = noteLines(r);
    QVERIFY2(notes.contains(QStringLiteral("Phone (home,fax): +90 212 555 01 09")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Phone (pager): +90 212 555 01 05")), qPrintable(r[Notes]));

    // "ext. 204" as other programs write it, and only a home fax: it is the fax.
    const ContactRecord ext = onlyCard(crlf("BEGIN:VCARD\nVERSION:3.0\nN:Ext;Eve;;;\n"
                                            "TEL;TYPE=WORK:(555) 010-2000 ext. 17\nTEL;TYPE=HOME,FAX:555 0300\nEND:VCARD\n"));
    QCOMPARE(ext[WorkPhone], QStringLiteral("(555) 010-2000"));
    QCOMPARE(ext[WorkExtension], QStringLiteral("17"));
    QCOMPARE(ext[FaxNumber], QStringLiteral("555 0300"));
    QCOMPARE(ext[Notes], QString());
}

void ExchangeInteropTest::gmailCardWholeAddressInExtendedPart()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "FN:Larry Page\n"
        "N:Page;Larry;;;\n"
        "EMAIL;TYPE=INTERNET;TYPE=WORK:larry@example.com\n"
        "TEL:+1 650-253-0000\n"
        "TEL;TYPE=WORK:+1 650-253-0001\n"
        "ADR;TYPE=WORK:;1600 Amphitheatre Parkway\\nMountain View\\, CA 94043\\nUSA;;;;;\n"
        "item1.URL:http\\://www.google.com/\n"
        "item1.X-ABLabel:PROFILE\n"
        "CATEGORIES:Friends,myContacts\n"
        "END:VCARD\n"));
    QCOMPARE(r[Address], QStringLiteral("1600 Amphitheatre Parkway\nMountain View, CA 94043\nUSA"));
    QCOMPARE(r[City], QString());
    QCOMPARE(r[WorkPhone], QStringLiteral("+1 650-253-0001")); // the explicit work number wins
    QCOMPARE(r.typeName, QStringLiteral("Friends"));
    const QStringList notes = noteLines(r);
    QVERIFY2(notes.contains(QStringLiteral("Phone: +1 650-253-0000")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Web page (PROFILE): http://www.google.com/")), qPrintable(r[Notes]));
    QVERIFY2(!r[Notes].contains(QLatin1String("Post office box")), qPrintable(r[Notes]));
}

void ExchangeInteropTest::outlookCardFaxAndUntypedNumbers()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:2.1\n"
        "N;LANGUAGE=en-us:Smith;Robert;;Mr.\n"
        "FN:Robert Smith\n"
        "ORG:Contoso Ltd.;Sales\n"
        "TITLE:Sales Manager\n"
        "TEL;WORK;VOICE:(425) 555-0110\n"
        "TEL;HOME;VOICE:(425) 555-0111\n"
        "TEL;CELL;VOICE:(425) 555-0112\n"
        "TEL;WORK;FAX:(425) 555-0113\n"
        "ADR;WORK;PREF:;;One Microsoft Way;Redmond;WA;98052;United States of America\n"
        "LABEL;WORK;PREF;ENCODING=QUOTED-PRINTABLE:One Microsoft Way=0D=0ARedmond, WA 98052\n"
        "X-MS-SPOUSE;CHARSET=us-ascii:Susan\n"
        "X-MS-OL-DEFAULT-POSTAL-ADDRESS:2\n"
        "EMAIL;PREF;INTERNET:robert@contoso.com\n"
        "BDAY:19700315\n"
        "REV:20240101T120000Z\n"
        "END:VCARD\n"));
    QCOMPARE(r[WorkPhone], QStringLiteral("(425) 555-0110"));
    QCOMPARE(r[HomePhone], QStringLiteral("(425) 555-0111"));
    QCOMPARE(r[MobilePhone], QStringLiteral("(425) 555-0112"));
    QCOMPARE(r[FaxNumber], QStringLiteral("(425) 555-0113"));
    QCOMPARE(r[Address], QStringLiteral("One Microsoft Way"));
    QCOMPARE(r[SpouseName], QStringLiteral("Susan"));
    QCOMPARE(r[Birthdate], QStringLiteral("1970-03-15"));
    QVERIFY2(noteLines(r).contains(QStringLiteral("Department: Sales")), qPrintable(r[Notes]));
}

void ExchangeInteropTest::evolutionCardRelationsAndUri()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:3.0\n"
        "UID:pas-id-5A1B2C3D00000001\n"
        "N:Dupont;Claire;;;\n"
        "FN:Claire Dupont\n"
        "X-EVOLUTION-FILE-AS:Dupont\\, Claire\n"
        "X-EVOLUTION-SPOUSE:Marc\n"
        "X-EVOLUTION-ASSISTANT:Luc\n"
        "X-EVOLUTION-MANAGER:Anne\n"
        "X-EVOLUTION-ANNIVERSARY:2001-09-08\n"
        "TEL;TYPE=WORK,VOICE;X-EVOLUTION-UI-SLOT=1:+33 1 23 45 67 89\n"
        "TEL;TYPE=HOME,FAX;X-EVOLUTION-UI-SLOT=2:+33 1 23 45 67 80\n"
        "EMAIL;TYPE=WORK;X-EVOLUTION-UI-SLOT=1:claire@example.fr\n"
        "ADR;TYPE=HOME:;Bâtiment B;12 rue de la Paix;Paris;;75002;France\n"
        "END:VCARD\n"));
    QCOMPARE(r.uid, QStringLiteral("pas-id-5A1B2C3D00000001"));
    QCOMPARE(r[SpouseName], QStringLiteral("Marc"));
    QCOMPARE(r[FaxNumber], QStringLiteral("+33 1 23 45 67 80"));
    QCOMPARE(r[Address], QStringLiteral("12 rue de la Paix\nBâtiment B"));
    const QStringList notes = noteLines(r);
    QVERIFY2(notes.contains(QStringLiteral("Assistant: Luc")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Manager: Anne")), qPrintable(r[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Anniversary: 2001-09-08")), qPrintable(r[Notes]));
}

void ExchangeInteropTest::thunderbirdCardVersion4()
{
    const ContactRecord r = onlyCard(crlf(
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "PRODID:-//Thunderbird//NONSGML//EN\n"
        "UID:urn:uuid:0f3b4a52-7a36-4c2e-9f0c-2d3b1a9e8c11\n"
        "N:Svensson;Karin;;;\n"
        "FN:Karin Svensson\n"
        "TEL;VALUE=URI;TYPE=work:tel:+46-8-555-0100;ext=102\n"
        "TEL;VALUE=TEXT;TYPE=cell:070-555 01 01\n"
        "RELATED;TYPE=spouse;VALUE=text:Per\n"
        "RELATED;TYPE=child;VALUE=text:Lisa\n"
        "ANNIVERSARY:20100612\n"
        "END:VCARD\n"));
    QCOMPARE(r.uid, QStringLiteral("urn:uuid:0f3b4a52-7a36-4c2e-9f0c-2d3b1a9e8c11"));
    QCOMPARE(r[WorkPhone], QStringLiteral("+46-8-555-0100"));
    QCOMPARE(r[WorkExtension], QStringLiteral("102"));
    QCOMPARE(r[MobilePhone], QStringLiteral("070-555 01 01"));
    QCOMPARE(r[SpouseName], QStringLiteral("Per"));
    QCOMPARE(r[ChildrenNames], QStringLiteral("Lisa"));
    QVERIFY2(noteLines(r).contains(QStringLiteral("Anniversary: 20100612")), qPrintable(r[Notes]));
}

void ExchangeInteropTest::cardsCutShortOrHoldingNulBytes()
{
    QByteArray file = crlf("BEGIN:VCARD\nVERSION:3.0\nN:One;Ann;;;\nEMAIL:ann@example.org\nEND:VCARD\n"
                           "BEGIN:VCARD\nVERSION:3.0\nN:Two;Ben;;;\nNOTE:before");
    file += '\0';
    file += crlf("after\nTEL;TYPE=CELL:555 0102\nEND:VCARD\n"
                 "BEGIN:VCARD\nVERSION:3.0\nN:Three;Cy;;;\nTEL;TYPE=HOME:555 0103\n");
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QList<ContactRecord> read;
    ContactRecord record;
    while (reader.next(record))
        read << record;
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[1][Notes], QStringLiteral("beforeafter"));
    QCOMPARE(read[1][MobilePhone], QStringLiteral("555 0102"));
    QVERIFY2(read[1].damage.contains(QLatin1String("Ben Two")) && read[1].damage.contains(QLatin1String("NUL")),
             qPrintable(read[1].damage));
    QCOMPARE(read[2][HomePhone], QStringLiteral("555 0103"));
    QVERIFY2(read[2].damage.contains(QLatin1String("Cy Three")) && read[2].damage.contains(QLatin1String("END:VCARD")),
             qPrintable(read[2].damage));
    QVERIFY(read[0].damage.isEmpty());
}

void ExchangeInteropTest::ownExportKeepsExtensionUidAndEmptyTexts()
{
    ContactRecord record;
    record[FirstName] = QStringLiteral("Zoë");
    record[WorkPhone] = QStringLiteral("555 0100 x12"); // as typed: no extension read out of it
    record[WorkExtension] = QStringLiteral("204");
    record[City] = QString(QLatin1String(""));
    record.markEmptyText(City);
    record.uid = QStringLiteral("f81d4fae-7dec-11d0-a765-00a0c91e6bf6");
    const QByteArray card = writeVCard(record);
    QVERIFY2(card.contains("UID:f81d4fae-7dec-11d0-a765-00a0c91e6bf6\r\n"), card.constData());
    // Other programs show the extension with the number.
    QVERIFY2(card.contains("TEL;TYPE=WORK,VOICE:555 0100 x12 ext. 204\r\n"), card.constData());
    const ContactRecord back = onlyCard(card);
    QCOMPARE(back[WorkPhone], record[WorkPhone]);
    QCOMPARE(back[WorkExtension], record[WorkExtension]);
    QCOMPARE(back.uid, record.uid);
    QVERIFY(back.holdsEmptyText(City));
    QVERIFY(!back.holdsEmptyText(LastName));

    // A contact with no name is named by its company, else its e-mail address.
    ContactRecord company;
    company[CompanyName] = QStringLiteral("Acme");
    company[EmailName] = QStringLiteral("info@acme.example");
    QVERIFY(writeVCard(company).contains("\r\nFN:Acme\r\n"));
    ContactRecord mail;
    mail[EmailName] = QStringLiteral("info@acme.example");
    const QByteArray mailCard = writeVCard(mail);
    QVERIFY2(mailCard.contains("\r\nFN:info@acme.example\r\n"), mailCard.constData());
    QCOMPARE(onlyCard(mailCard)[FirstName], QString()); // the FN is not read back as a name
}

void ExchangeInteropTest::googleContactsCsv()
{
    const CsvRead read = readCsvFile(
        "Name,Given Name,Additional Name,Family Name,Birthday,Notes,Group Membership,E-mail 1 - Type,E-mail 1 - Value,"
        "E-mail 2 - Type,E-mail 2 - Value,Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,Phone 2 - Value,"
        "Phone 3 - Type,Phone 3 - Value,Phone 4 - Type,Phone 4 - Value,Organization 1 - Type,Organization 1 - Name,"
        "Organization 1 - Title\r\n"
        "Maria Garcia,Maria,,Garcia,1988-07-14,Tennis partner,Friends ::: * myContacts ::: * starred,Work,maria@work.example,"
        "* Home,maria@home.example,Mobile,+34 600 000 001 ::: +34 600 000 009,Home,+34 91 000 0002,Work Fax,+34 91 000 0003,"
        "Home Fax,+34 91 000 0004,,Acme,Buyer\r\n"
        "Paul Martin,Paul,,Martin,,,* myContacts,,paul@example.fr,,,Work,+33 1 00 00 00 01,Main,+33 1 00 00 00 02,,,,,,,\r\n");
    QCOMPARE(read.records.size(), 2);
    const ContactRecord &maria = read.records[0];
    QCOMPARE(maria[MobilePhone], QStringLiteral("+34 600 000 001"));
    QCOMPARE(maria[HomePhone], QStringLiteral("+34 91 000 0002"));
    QCOMPARE(maria[FaxNumber], QStringLiteral("+34 91 000 0003"));
    QCOMPARE(maria[WorkPhone], QString());
    QCOMPARE(maria[EmailName], QStringLiteral("maria@home.example")); // the primary address
    QCOMPARE(maria.typeName, QStringLiteral("Friends"));
    QCOMPARE(maria[CompanyName], QStringLiteral("Acme"));
    QCOMPARE(maria[Title], QStringLiteral("Buyer"));
    QCOMPARE(maria[Birthdate], QStringLiteral("1988-07-14"));
    const QStringList notes = noteLines(maria);
    QVERIFY2(notes.contains(QStringLiteral("Phone (Mobile): +34 600 000 009")), qPrintable(maria[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("Phone (Home Fax): +34 91 000 0004")), qPrintable(maria[Notes]));
    QVERIFY2(notes.contains(QStringLiteral("E-mail (Work): maria@work.example")), qPrintable(maria[Notes]));
    QVERIFY2(!maria[Notes].contains(QLatin1String("myContacts")), qPrintable(maria[Notes]));
    const ContactRecord &paul = read.records[1];
    QCOMPARE(paul[WorkPhone], QStringLiteral("+33 1 00 00 00 01"));
    QCOMPARE(paul[EmailName], QStringLiteral("paul@example.fr"));
    QCOMPARE(paul.typeName, QString());
    QVERIFY2(noteLines(paul).contains(QStringLiteral("Phone (Main): +33 1 00 00 00 02")), qPrintable(paul[Notes]));
}

void ExchangeInteropTest::outlookCsv()
{
    const CsvRead read = readCsvFile(
        "\"Title\",\"First Name\",\"Middle Name\",\"Last Name\",\"Suffix\",\"Company\",\"Department\",\"Job Title\","
        "\"Business Street\",\"Business Street 2\",\"Business City\",\"Business State\",\"Business Postal Code\","
        "\"Business Country\",\"Business Fax\",\"Business Phone\",\"Mobile Phone\",\"Categories\",\"Birthday\","
        "\"E-mail Address\",\"E-mail Display Name\",\"Notes\"\r\n"
        "\"Ms.\",\"Nancy\",\"\",\"Davolio\",\"\",\"Northwind Traders\",\"Sales\",\"Sales Representative\","
        "\"507 - 20th Ave. E.\",\"Apt. 2A\",\"Seattle\",\"WA\",\"98122\",\"United States\",\"(206) 555-9482\","
        "\"(206) 555-9857\",\"(206) 555-0101\",\"Customers;VIP\",\"12/8/1968\",\"nancy@northwind.example\","
        "\"Nancy Davolio (nancy@northwind.example)\",\"Prefers mornings\"\r\n"
        "\"Mr.\",\"Andrew\",\"\",\"Fuller\",\"\",\"Northwind Traders\",\"\",\"Vice President\",\"\",\"\",\"\",\"\",\"\","
        "\"\",\"\",\"\",\"\",\"\",\"0/0/00\",\"andrew@northwind.example\",\"\",\"\"\r\n");
    QCOMPARE(read.records.size(), 2);
    const ContactRecord &nancy = read.records[0];
    QCOMPARE(nancy[Dear], QStringLiteral("Ms."));
    QCOMPARE(nancy[Title], QStringLiteral("Sales Representative"));
    QCOMPARE(nancy[Address], QStringLiteral("507 - 20th Ave. E.\nApt. 2A"));
    QCOMPARE(nancy[Country], QStringLiteral("United States"));
    QCOMPARE(nancy[FaxNumber], QStringLiteral("(206) 555-9482"));
    QCOMPARE(nancy.typeName, QStringLiteral("Customers"));
    QCOMPARE(nancy[Birthdate], QStringLiteral("1968-12-08"));
    QVERIFY2(noteLines(nancy).contains(QStringLiteral("Categories: VIP")), qPrintable(nancy[Notes]));
    QVERIFY2(noteLines(nancy).contains(QStringLiteral("Department: Sales")), qPrintable(nancy[Notes]));
    const ContactRecord &andrew = read.records[1];
    QCOMPARE(andrew[Dear], QStringLiteral("Mr."));
    QCOMPARE(andrew[Birthdate], QString());
    QVERIFY2(!andrew[Notes].contains(QLatin1String("0/0/00")), qPrintable(andrew[Notes]));
    // Outlook's own columns never write '' into the database.
    QCOMPARE(andrew.emptyTexts, 0U);
}

void ExchangeInteropTest::thunderbirdCsv()
{
    const CsvRead read = readCsvFile(
        "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Work Phone,Home Phone,Fax Number,"
        "Pager Number,Mobile Number,Work Address,Work Address 2,Work City,Work State,Work ZipCode,Work Country,"
        "Job Title,Department,Organization,Birth Year,Birth Month,Birth Day,Notes\r\n"
        "Hans,Becker,Hans Becker,Hansi,hans@example.de,h.becker@example.org,+49 30 555 01,+49 30 555 02,+49 30 555 03,,"
        "+49 170 555 04,Hauptstr. 1,Hinterhaus,Berlin,,10115,Germany,Einkauf,Zentrale,Beispiel GmbH,1975,3,9,\r\n"
        "Eva,Roth,,,eva@example.de,,,,,,,,,,,,,,,,,11,30,\r\n");
    QCOMPARE(read.records.size(), 2);
    const ContactRecord &hans = read.records[0];
    QCOMPARE(hans[Birthdate], QStringLiteral("1975-03-09"));
    QCOMPARE(hans[Address], QStringLiteral("Hauptstr. 1\nHinterhaus"));
    QCOMPARE(hans[CompanyName], QStringLiteral("Beispiel GmbH"));
    QCOMPARE(hans[FaxNumber], QStringLiteral("+49 30 555 03"));
    const ContactRecord &eva = read.records[1];
    QCOMPARE(eva[Birthdate], QString()); // no year: kept as a Notes line
    QVERIFY2(noteLines(eva).contains(QStringLiteral("Birthday: --11-30")), qPrintable(eva[Notes]));
}

void ExchangeInteropTest::germanLibreOfficeSheet()
{
    const QByteArray sheet = "Vorname;Nachname;Straße;Ort;PLZ;Geburtstag\r\n"
                             "Jörg;Weiß;Königsallee 1;Düsseldorf;40212;03.02.1971\r\n";
    const CsvRead automatic = readCsvFile(sheet);
    QVERIFY(!mappingNamesContacts(automatic.mapping));
    // The user's mapping, by the captions the window shows.
    QList<int> mapping;
    for (const char *caption : {"First Name", "Last Name", "Address", "City", "Post Code", "Birthdate"})
        mapping << fieldOfCaption(QString::fromUtf8(caption));
    QVERIFY(mappingNamesContacts(mapping));
    const CsvRead read = readCsvFile(sheet, mapping);
    QCOMPARE(read.records.size(), 1);
    const ContactRecord &r = read.records[0];
    QCOMPARE(r[FirstName], QStringLiteral("Jörg"));
    QCOMPARE(r[LastName], QStringLiteral("Weiß"));
    QCOMPARE(r[Address], QStringLiteral("Königsallee 1"));
    QCOMPARE(r[City], QStringLiteral("Düsseldorf"));
    QCOMPARE(r[PostalCode], QStringLiteral("40212"));
    QCOMPARE(r[Birthdate], QStringLiteral("1971-02-03"));
    QCOMPARE(r[Notes], QString());
}

void ExchangeInteropTest::dateOrderIsDecidedPerColumn()
{
    // A UK export: one value over 12 in the first place settles the column.
    const CsvRead uk = readCsvFile("First Name,Birthday\r\nAmy,01/02/1985\r\nBen,25/12/1990\r\nCal,03/04/1979\r\n");
    QCOMPARE(uk.records[0][Birthdate], QStringLiteral("1985-02-01"));
    QCOMPARE(uk.records[2][Birthdate], QStringLiteral("1979-04-03"));
    QVERIFY2(uk.problems.filter(QStringLiteral("either way")).isEmpty(), qPrintable(uk.problems.join('\n')));

    const CsvRead us = readCsvFile("First Name,Birthday\r\nAmy,01/02/1985\r\nBen,12/25/1990\r\n");
    QCOMPARE(us.records[0][Birthdate], QStringLiteral("1985-01-02"));

    // Nothing settles it: the locale (en_US) decides and the summary says so.
    const CsvRead either = readCsvFile("First Name,Birthday\r\nAmy,01/02/1985\r\nBen,03/04/1990\r\n");
    QCOMPARE(either.records[0][Birthdate], QStringLiteral("1985-01-02"));
    QVERIFY2(!either.problems.filter(QStringLiteral("read either way; they were read as month/day/year")).isEmpty(),
             qPrintable(either.problems.join('\n')));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const CsvRead british = readCsvFile("First Name,Birthday\r\nAmy,01/02/1985\r\n");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(british.records[0][Birthdate], QStringLiteral("1985-02-01"));
}

void ExchangeInteropTest::unclosedQuoteEndsItsRowOnly()
{
    const CsvRead read = readCsvFile("First Name,Last Name,Notes\r\n"
                                     "Ann,Lee,fine\r\n"
                                     "Bob,\"Unclosed,oops\r\n"
                                     "Cy,Moe,\"two\r\nlines\"\r\n"
                                     "Di,Noor,last\r\n");
    QCOMPARE(read.records.size(), 4);
    QCOMPARE(read.records[1][FirstName], QStringLiteral("Bob"));
    QCOMPARE(read.records[1][LastName], QStringLiteral("Unclosed,oops"));
    QCOMPARE(read.records[2][FirstName], QStringLiteral("Cy"));
    QCOMPARE(read.records[2][Notes], QStringLiteral("two\r\nlines"));
    QCOMPARE(read.records[3][FirstName], QStringLiteral("Di"));
    QVERIFY2(!read.problems.filter(QStringLiteral("Line 3 opens a quote that is never closed")).isEmpty(),
             qPrintable(read.problems.join('\n')));
}

void ExchangeInteropTest::mappingDialogOffersCaptionsAndTheDateOrder()
{
    const QStringList headers{QStringLiteral("Vorname"), QStringLiteral("Ort"), QStringLiteral("Geburtstag")};
    CsvMappingDialog dialog(QStringLiteral("adressen.csv"), headers, {{"Jörg", "Köln", "01/02/1971"}}, std::nullopt);
    auto *advice = child<QLabel>(&dialog, QStringLiteral("labelAdvice"));
    QVERIFY2(advice->text().contains(QLatin1String("No column goes into a name")), qPrintable(advice->text()));
    QComboBox *first = dialog.fieldBox(0);
    // The captions the main window shows, not the column names.
    QVERIFY(first->findText(QStringLiteral("E-mail Address")) >= 0);
    QVERIFY(first->findText(QStringLiteral("Salutation")) >= 0);
    QCOMPARE(first->findText(QStringLiteral("EmailName")), -1);
    first->setCurrentIndex(first->findText(QStringLiteral("First Name")));
    QCOMPARE(advice->text(), QString());
    QCOMPARE(dialog.mapping().value(0), int(FirstName));

    // Nothing in the file settles the order: the locale's (en_US) is offered and can be changed.
    auto *order = child<QComboBox>(&dialog, QStringLiteral("comboDateOrder"));
    QCOMPARE(dialog.dateOrder(), DateOrder::MonthFirst);
    order->setCurrentIndex(order->findData(int(DateOrder::DayFirst)));
    QCOMPARE(dialog.dateOrder(), DateOrder::DayFirst);
    // The file's own dates settle it.
    CsvMappingDialog settled(QStringLiteral("uk.csv"), headers, {}, DateOrder::DayFirst);
    QCOMPARE(settled.dateOrder(), DateOrder::DayFirst);
}

QTEST_MAIN(ExchangeInteropTest)
#include "tst_exchange_interop.moc"
