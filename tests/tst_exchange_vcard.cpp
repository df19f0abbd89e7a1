#include "exchange/VCardMapping.h"

#include <QTest>

using namespace exchange;

class TestExchangeVCard : public QObject {
    Q_OBJECT

private slots:
    void exportThenImportKeepsEveryField_data();
    void exportThenImportKeepsEveryField();
    void writtenCardsAreFoldedAt75Octets();
    void readsQuotedPrintableWithCharset();
    void readsCardsOfOtherAddressBooks();
    void unmappedPropertiesBecomeNoteLines();
    void windows1252FileIsDecoded();
};

static ContactRecord hardRecord(const QString &seed)
{
    ContactRecord record;
    for (int field = FirstName; field < FieldCount; ++field) {
        if (field == ContactTypeID || field == Birthdate)
            continue;
        record[field] = QStringLiteral(" %1 O'Brien; a,b\\c \"q\" Zoë Ærøskøbing 東京 Ελένη\tTAB %2 ")
                            .arg(seed, fieldNames()[field]);
    }
    record[Address] = seed + QStringLiteral(" Flat 2\r\n12 Rue d'Été;\r\nBâtiment B");
    record[Notes] = QStringLiteral("line one\r\n\r\nline three: a;b,c\\n not a break\r\n");
    record[Hometown] = QStringLiteral("mixed\nbreaks\r\nhere\rand \\r\\n there");
    record[SpouseName] = QString::fromUtf16(u"ctl \x01\x1B\x7F \u2028 \uFEFF \U0001F600 end");
    record[Birthdate] = QStringLiteral("1980-01-31");
    record.typeName = QStringLiteral("Friends; and, family");
    return record;
}

void TestExchangeVCard::exportThenImportKeepsEveryField_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("hard characters everywhere") << 0;
    QTest::newRow("long values and a birth time") << 1;
    QTest::newRow("only a few fields") << 2;
    QTest::newRow("a birth date that is no date") << 3;
}

void TestExchangeVCard::exportThenImportKeepsEveryField()
{
    QFETCH(int, variant);
    ContactRecord record = hardRecord(QStringLiteral("A"));
    if (variant == 1) {
        for (int field = FirstName; field < FieldCount; ++field)
            if (field != ContactTypeID && field != Birthdate)
                record[field] = record[field].repeated(7);
        record[Birthdate] = QStringLiteral("2021-03-14T14:30:00");
    } else if (variant == 3) {
        record[Birthdate] = QStringLiteral("31/01/1980 (about)");
    } else if (variant == 2) {
        ContactRecord sparse;
        sparse[LastName] = QStringLiteral("Łukasiewicz");
        sparse[MobilePhone] = QStringLiteral("+48 600 100 200");
        sparse[ChildrenNames] = QStringLiteral("Ola\nJan");
        record = sparse;
    }
    const ContactRecord second = hardRecord(QStringLiteral("B"));
    const QByteArray file = writeVCard(record) + writeVCard(second);
    const VCardImport back = readVCards(file);
    QCOMPARE(back.contacts.size(), 2);
    QVERIFY(back.notKept.isEmpty());
    for (int field = FirstName; field < FieldCount; ++field) {
        if (field == ContactTypeID)
            continue;
        QCOMPARE(back.contacts[0][field], record[field]);
        QCOMPARE(back.contacts[1][field], second[field]);
    }
    QCOMPARE(back.contacts[0].typeName, record.typeName);
}

void TestExchangeVCard::writtenCardsAreFoldedAt75Octets()
{
    const QByteArray card = writeVCard(hardRecord(QStringLiteral("fold")));
    QVERIFY(card.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    QVERIFY(card.endsWith("END:VCARD\r\n"));
    QVERIFY(!card.contains("\n\n"));
    const QList<QByteArray> lines = card.split('\n');
    int continued = 0;
    for (QByteArray line : lines) {
        if (line.isEmpty())
            continue;
        QVERIFY2(line.endsWith('\r'), line.constData());
        line.chop(1);
        QVERIFY2(line.size() <= 75, line.constData());
        QVERIFY(!line.contains('\r'));
        QVERIFY(QString::fromUtf8(line).toUtf8() == line); // no UTF-8 sequence split
        continued += line.startsWith(' ');
    }
    QVERIFY(continued > 0);
}

void TestExchangeVCard::readsQuotedPrintableWithCharset()
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=F6rg\r\n"
                            "TEL;WORK;VOICE:+49 30 1234\r\nTEL;CELL:0170 555\r\nTEL;HOME;FAX:030 999\r\n"
                            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Erste Zeile=0D=0AZweite =C3=\r\n"
                            "=A4 Zeile\r\n"
                            "ADR;HOME;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:;;Stra=DFe 1;K=F6ln;;50667;Deutschland\r\n"
                            "END:VCARD\r\n";
    const VCardImport imported = readVCards(card);
    QCOMPARE(imported.contacts.size(), 1);
    const ContactRecord &c = imported.contacts[0];
    QCOMPARE(c[LastName], QStringLiteral("Müller"));
    QCOMPARE(c[FirstName], QStringLiteral("Jörg"));
    QCOMPARE(c[WorkPhone], QStringLiteral("+49 30 1234"));
    QCOMPARE(c[MobilePhone], QStringLiteral("0170 555"));
    QCOMPARE(c[FaxNumber], QStringLiteral("030 999"));
    QCOMPARE(c[Notes], QStringLiteral("Erste Zeile\r\nZweite ä Zeile"));
    QCOMPARE(c[Address], QStringLiteral("Straße 1"));
    QCOMPARE(c[City], QStringLiteral("Köln"));
    QCOMPARE(c[PostalCode], QStringLiteral("50667"));
}

void TestExchangeVCard::readsCardsOfOtherAddressBooks()
{
    // After the examples of RFC 2426 (3.0) and RFC 6350 (4.0).
    const QByteArray file =
        "BEGIN:vCard\r\nVERSION:3.0\r\nFN:Frank Dawson\r\nORG:Lotus Development Corporation\r\n"
        "ADR;TYPE=WORK,POSTAL,PARCEL:;;6544 Battleford Drive\r\n ;Raleigh;NC;27613-3502;U.S.A.\r\n"
        "TEL;TYPE=VOICE,MSG,WORK:+1-919-676-9515\r\nTEL;TYPE=FAX,WORK:+1-919-676-9564\r\n"
        "EMAIL;TYPE=INTERNET,PREF:Frank_Dawson@Lotus.com\r\nEMAIL;TYPE=INTERNET:fdawson@earthlink.net\r\n"
        "URL:http://home.earthlink.net/~fdawson\r\nEND:vCard\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Simon Perreault\r\nN:Perreault;Simon;;;ing. jr,M.Sc.\r\n"
        "BDAY:--0203\r\nANNIVERSARY:20090808T1430-0500\r\nGENDER:M\r\n"
        "ORG:Viagenie;Research\r\n"
        "item1.TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+1-418-656-9254;ext=102\r\n"
        "TEL;VALUE=uri;TYPE=\"work,cell,voice,video,text\":tel:+1-418-262-6501\r\n"
        "EMAIL;TYPE=work:simon.perreault@viagenie.ca\r\nRELATED;TYPE=spouse;VALUE=text:Marie\\, Perreault\r\n"
        "INTEREST:hiking\\, chess\r\nX-EVOLUTION-SPOUSE:Not taken\r\nCATEGORIES:Work,Research\r\n"
        "NOTE:Two\\nlines\r\nEND:VCARD\r\n";
    const VCardImport imported = readVCards(file);
    QCOMPARE(imported.contacts.size(), 2);
    const ContactRecord &frank = imported.contacts[0];
    QCOMPARE(frank[FirstName], QStringLiteral("Frank"));
    QCOMPARE(frank[LastName], QStringLiteral("Dawson"));
    QCOMPARE(frank[Address], QStringLiteral("6544 Battleford Drive"));
    QCOMPARE(frank[City], QStringLiteral("Raleigh"));
    QCOMPARE(frank[StateOrProvince], QStringLiteral("NC"));
    QCOMPARE(frank[Country], QStringLiteral("U.S.A."));
    QCOMPARE(frank[FaxNumber], QStringLiteral("+1-919-676-9564"));
    QCOMPARE(frank[EmailName], QStringLiteral("Frank_Dawson@Lotus.com"));
    QVERIFY2(frank[Notes].contains(QStringLiteral("E-mail: fdawson@earthlink.net")), qPrintable(frank[Notes]));
    QVERIFY(frank[Notes].contains(QStringLiteral("Web page: http://home.earthlink.net/~fdawson")));

    const ContactRecord &simon = imported.contacts[1];
    QCOMPARE(simon[LastName], QStringLiteral("Perreault"));
    QCOMPARE(simon[CompanyName], QStringLiteral("Viagenie"));
    QCOMPARE(simon[WorkPhone], QStringLiteral("+1-418-656-9254"));
    QCOMPARE(simon[WorkExtension], QStringLiteral("102"));
    QCOMPARE(simon[MobilePhone], QStringLiteral("+1-418-262-6501"));
    QCOMPARE(simon[SpouseName], QStringLiteral("Marie, Perreault"));
    QCOMPARE(simon[ContactsInterests], QStringLiteral("hiking, chess"));
    QCOMPARE(simon.typeName, QStringLiteral("Work"));
    QVERIFY(simon[Birthdate].isEmpty());
    QVERIFY(simon[Notes].startsWith(QStringLiteral("Two\nlines")));
    for (const char *line : {"Name suffix: ing. jr,M.Sc.", "Birthday: --0203", "Anniversary: 20090808T1430-0500",
                             "GENDER: M", "Department: Research", "Category: Research", "Spouse: Not taken"})
        QVERIFY2(simon[Notes].contains(QString::fromUtf8(line)), line);
}

void TestExchangeVCard::unmappedPropertiesBecomeNoteLines()
{
    const QByteArray file = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nNICKNAME:Annie\r\n"
                            "TEL;TYPE=WORK:111\r\nTEL;TYPE=WORK:222\r\nX-ANNIVERSARY:2001-06-30\r\n"
                            "PHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\nKEY;ENCODING=b:QUJD\r\nEND:VCARD\r\n";
    const VCardImport imported = readVCards(file);
    QCOMPARE(imported.contacts.size(), 1);
    QCOMPARE(imported.contacts[0][WorkPhone], QStringLiteral("111"));
    QCOMPARE(imported.contacts[0][Notes],
             QStringLiteral("Nickname: Annie\nAnniversary: 2001-06-30\nPhone (work): 222"));
    QCOMPARE(imported.notKept, (QStringList{QStringLiteral("PHOTO of Ann Lee"), QStringLiteral("KEY of Ann Lee")}));
}

void TestExchangeVCard::windows1252FileIsDecoded()
{
    const QByteArray file = "BEGIN:VCARD\nVERSION:3.0\nN:Fran\xE7ois;Ren\xE9;;;\nNOTE:\x93quoted\x94 \x80 5\nEND:VCARD\n";
    const VCardImport imported = readVCards(file);
    QCOMPARE(imported.contacts.size(), 1);
    QCOMPARE(imported.contacts[0][LastName], QStringLiteral("François"));
    QCOMPARE(imported.contacts[0][FirstName], QStringLiteral("René"));
    QCOMPARE(imported.contacts[0][Notes], QStringLiteral("“quoted” € 5"));
}

QTEST_GUILESS_MAIN(TestExchangeVCard)
#include "tst_exchange_vcard.moc"
