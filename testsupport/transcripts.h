// What the upgrade sends, written out batch by batch (lines joined by line breaks), as the tests
// expect it. Pieces follow the steps; a test joins the pieces a run should send. The fixed pieces
// are the files of testsupport/transcripts: each batch as sent, followed by a line "@@@@".
#pragma once

#include <string>
#include <vector>

using Transcript = std::vector<std::string>;

Transcript& operator+=(Transcript& a, const Transcript& b);
Transcript operator+(Transcript a, const Transcript& b);

// The line that ends each batch in a transcript file.
inline const std::string kBatchEnd = "\n@@@@\n";
// The batches of testsupport/transcripts/<name>.txt; throws when the file is missing or does not
// end with a batch's end.
Transcript ReadTranscript(const std::string& name);

// The first batch of every run and repair: the upgrade lock taken.
Transcript Lock();
// What upvrek-cli run and plan send right after the lock: the select of the other connections.
Transcript OtherSessions();

// True for a batch that changes no data: a select, or the lock's batch.
bool ChangesNothing(const std::string& batch);

// A run on a database that every step has already upgraded: probes and mark lookups only.
Transcript UpgradedRun();

// The reads of the half-done check that a run makes at its start and before its end: on the
// old-register fixture, and on a database every step has upgraded (the old register after a run).
Transcript CheckOnOldRegister();
Transcript CheckOnUpgraded();
// A run on an upgraded database from the upgrade window: the lock, the check, the probes and
// lookups, the check again.
Transcript CheckedUpgradedRun();
// The same from upvrek-cli run: the select of the other connections after the lock.
Transcript CliUpgradedRun();

std::string MarkLookup(const std::string& mark);
std::string MarkInsert(const std::string& mark);

Transcript Ledger();          // probe and create of ver_manage
Transcript ScrapReason();     // probe, alter, update of vr_dwhy
Transcript Units();           // probe, drop, create, key, 27 inserts of lib_unit
Transcript PeopleHead();      // probe, checks, person check, steps up to the read of lib_people
Transcript PeopleTail();      // persons proven, drop, create, key, copy back, drop of lib_peopletmp
Transcript StockTaking();     // the fourteen requests of step 2005 on a database without them
Transcript Company();         // mark lookup, checks, mark insert, ten statements
Transcript CheckedFields();   // mark lookup, check, mark insert, create, the eighteen inserts
Transcript AssetNamesHead();  // mark lookup, checks, mark insert, create, index, the names read

// The 27 standard units (unit, initial, order number) and the 18 checked fields (table, field,
// caption, flag), in the order they are inserted.
std::vector<std::vector<std::string>> UnitSeedRows();
std::vector<std::vector<std::string>> CheckedFieldRows();

// The insert of one person, from the value texts as they are to appear between the quotes.
std::string PersonInsert(const std::vector<std::string>& quoted_values);
// The insert of one asset name with its initials, both as they are to appear between quotes.
std::string NameInsert(const std::string& quoted_name, const std::string& quoted_initials);

// The upgraded run's pieces, by position: 0 ledger probe, 1 vr_dwhy, 2 un_unitpy,
// 3 lib_prtblank, 4..8 step 2005, 9..11 the marks.
Transcript UpgradedSlice(size_t from, size_t to);
