#pragma once

#include "ContactRecord.h"

#include <QList>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include <deque>
#include <future>

namespace exchange {

// The contacts of some cards, in the order of the cards.
struct ParsedCards {
    QList<ContactRecord> records;
    QStringList notKept; // "PHOTO of Ann Lee"
    int repairs = 0;     // values the vCard library had to mend
};

// Each entry holds the lines of one card (without their line ends).
ParsedCards parseCards(const QList<QStringList> &cards);

// Parses batches of cards on worker threads while the caller reads the next
// ones and stores the contacts already parsed. Batches come back in the
// order they were handed in, so contacts keep the order of the file. Cards
// are independent objects of the vCard library, so they parse in parallel.
class VCardBatchParser {
public:
    explicit VCardBatchParser(int threads = QThread::idealThreadCount());
    // Waits for the batches still being parsed.
    ~VCardBatchParser();
    VCardBatchParser(const VCardBatchParser &) = delete;
    VCardBatchParser &operator=(const VCardBatchParser &) = delete;

    // `characters`: the size of the batch, counted in pendingCharacters().
    void submit(QList<QStringList> cards, qsizetype characters);
    // The oldest batch handed in and not taken yet; waits until it is parsed.
    ParsedCards take();

    int pendingBatches() const { return int(m_pending.size()); }
    qsizetype pendingCharacters() const { return m_pendingCharacters; }

private:
    struct Pending {
        std::future<ParsedCards> result;
        qsizetype characters;
    };
    QThreadPool m_pool;
    std::deque<Pending> m_pending;
    qsizetype m_pendingCharacters = 0;
};

} // namespace exchange
