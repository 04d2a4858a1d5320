// An engine whose answers a protocol test scripts: it records every batch and RPC call it is
// given, so tests see exactly what a real client sent through the TDS layer. Database
// behaviour is tested against the real engine, never with this.
#pragma once

#include "engine/Engine.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace standin::testing {

class ScriptedEngine : public Engine {
public:
    using BatchHandler =
        std::function<void(const std::u16string&, ResultSink&, const std::atomic<bool>*)>;
    using RpcHandler =
        std::function<void(const std::u16string&, const std::vector<RpcParam>&, ResultSink&)>;

    std::u16string password = u"Secret#1";
    BatchHandler onBatch;
    RpcHandler onRpc;

    struct RpcRecord {
        std::u16string procedure;
        std::vector<RpcParam> params;
    };

    std::vector<std::u16string> batches()
    {
        std::lock_guard lock(mutex_);
        return batches_;
    }
    std::vector<RpcRecord> rpcs()
    {
        std::lock_guard lock(mutex_);
        return rpcs_;
    }

    // What the front end said of the last connection that logged in.
    ConnectionInfo lastConnection()
    {
        std::lock_guard lock(mutex_);
        return lastConnection_;
    }

    LoginResult login(const std::u16string& user, const std::u16string& pw,
                      const std::u16string& database, const ConnectionInfo& connection) override
    {
        {
            std::lock_guard lock(mutex_);
            lastConnection_ = connection;
        }
        LoginResult r;
        if (user != u"sa" || pw != password) {
            r.error = Message{18456, 1, 14, u"Login failed for user '" + user + u"'.", {}, 1};
            return r;
        }
        if (!database.empty() && database != u"master" && database != u"Archive") {
            r.error = Message{
                4060,
                1,
                11,
                u"Cannot open database \"" + database + u"\" requested by the login. The login failed.",
                {},
                1};
            return r;
        }
        r.session =
            std::make_unique<ScriptedSession>(*this, database.empty() ? u"master" : database);
        return r;
    }
    std::u16string serverName() const override { return u"STANDIN"; }

private:
    class ScriptedSession : public Session {
    public:
        ScriptedSession(ScriptedEngine& e, std::u16string db) : e_(e), db_(std::move(db)) {}
        void execute(const std::u16string& batch, ResultSink& sink,
                     const std::atomic<bool>* cancel) override
        {
            {
                std::lock_guard lock(e_.mutex_);
                e_.batches_.push_back(batch);
            }
            if (e_.onBatch)
                e_.onBatch(batch, sink, cancel);
            else
                sink.done(DoneInfo{});
        }
        void executeRpc(const std::u16string& procedure, const std::vector<RpcParam>& params,
                        ResultSink& sink, const std::atomic<bool>*) override
        {
            {
                std::lock_guard lock(e_.mutex_);
                e_.rpcs_.push_back({procedure, params});
            }
            if (e_.onRpc)
                e_.onRpc(procedure, params, sink);
            else
                sink.done(DoneInfo{});
        }
        std::u16string currentDatabase() const override { return db_; }
        std::u16string loginName() const override { return u"sa"; }

    private:
        ScriptedEngine& e_;
        std::u16string db_;
    };

    std::mutex mutex_;
    std::vector<std::u16string> batches_;
    ConnectionInfo lastConnection_;
    std::vector<RpcRecord> rpcs_;
};

} // namespace standin::testing
