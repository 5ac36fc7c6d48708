#include "agentcommon/quiet_appender.h"

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>

#include <exception>
#include <map>

namespace Ardentis {
namespace {

using log4cxx::AppenderPtr;

class QuietAppender final : public log4cxx::AppenderSkeleton {
  public:
    explicit QuietAppender(AppenderPtr inner) : inner_(std::move(inner)) {
        setName(inner_->getName());
    }

    void close() override {
        try {
            inner_->close();
        } catch (const std::exception& error) {
            getErrorHandler()->error(LOG4CXX_STR("Cannot close the log"), error,
                                     log4cxx::spi::ErrorCode::CLOSE_FAILURE);
        }
    }
    bool requiresLayout() const override { return false; }

  protected:
    void append(const log4cxx::spi::LoggingEventPtr& event, log4cxx::helpers::Pool& pool) override {
        try {
            inner_->doAppend(event, pool);
        } catch (const std::exception& error) {
            getErrorHandler()->error(LOG4CXX_STR("Cannot write the log"), error,
                                     log4cxx::spi::ErrorCode::WRITE_FAILURE, event);
        }
    }

  private:
    AppenderPtr inner_;
};

}  // namespace

void QuietenAppenders() {
    auto loggers = log4cxx::LogManager::getCurrentLoggers();
    loggers.push_back(log4cxx::Logger::getRootLogger());
    // An appender that several loggers share gets one guard.
    std::map<AppenderPtr, AppenderPtr> guards;
    for (const auto& logger : loggers) {
        for (const auto& appender : logger->getAllAppenders()) {
            auto& guard = guards[appender];
            if (!guard) guard = std::make_shared<QuietAppender>(appender);
            logger->removeAppender(appender);
            logger->addAppender(guard);
        }
    }
}

}  // namespace Ardentis
