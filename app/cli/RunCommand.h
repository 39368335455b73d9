#pragma once
// `orvik-cli run`: a script's steps against the session, one after the other. The first
// expectation not met ends the run with what arrived instead.

#include "CliScript.h"

#include <QObject>
#include <QStringList>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

class TRecordCommand;

class TRunCommand : public QObject {
    Q_OBJECT
public:
    enum Result { Passed = 0, Failed = 1, LinkError = 2 };

    TRunCommand(TRecordCommand& session, std::vector<TScriptStep> steps, std::FILE* out, std::FILE* err,
        QObject* parent = nullptr);
    Result run();
    // Ends the run under way as a link error (a termination signal).
    void abort() { aborted_ = true; }

private:
    bool waitFor(const std::function<bool()>& done, int ms);
    Result fail(const TScriptStep& step, const QString& what);
    Result linkLost(const TScriptStep& step);
    void addReceived(const QByteArray& text);

    TRecordCommand& session_;
    std::vector<TScriptStep> steps_;
    std::FILE* out_;
    std::FILE* err_;
    bool aborted_ = false;
    QByteArray partial_; // a received line not yet ended
    std::deque<QString> lines_; // received since the last expectation was met
    std::deque<TSeenRecord> records_;
};
