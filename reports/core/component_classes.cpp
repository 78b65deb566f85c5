// The dispatch tables of _Reports and _AppAdmin, and the class factories of both classes.
#include "reports/core/component_classes.h"

#include <strings.h>

#include "reports/core/component_objects.h"

namespace tamsel::reports {

namespace com = platform::com;

namespace {

using com::MethodInfo;
using com::ParamInfo;
using com::ParamType;
using com::PassBy;

ParamInfo In(std::string name, ParamType type = ParamType::Variant) {
  return {std::move(name), type, PassBy::Value, std::nullopt};
}
ParamInfo InOut(std::string name, ParamType type = ParamType::Variant) {
  return {std::move(name), type, PassBy::Reference, std::nullopt};
}
ParamInfo Optional(ParamInfo param, com::Variant defaultValue) {
  param.defaultValue = std::move(defaultValue);
  return param;
}
MethodInfo Long(std::string name, std::vector<ParamInfo> params = {}) {
  return {std::move(name), std::move(params), ParamType::Long};
}

constexpr ParamType kBStr = ParamType::BStr;
constexpr ParamType kLong = ParamType::Long;
constexpr ParamType kShort = ParamType::Short;

std::vector<MethodInfo> AppAdminMethods() {
  return {
      Long("AppUserAdd", {InOut("sXml")}),
      Long("AppUserEdit", {In("sXml", kBStr)}),
      Long("AppUserInfoGet", {In("lngAppUserID"), InOut("sXml")}),
      Long("AppUserListGet", {InOut("sXml")}),
      Long("AppUserDelete", {In("lngAppUserID")}),
      Long("AppUserLogIn", {InOut("sXml")}),
      Long("AppUserPasswordChange", {In("sXml", kBStr)}),
      Long("AppUserNavItemListGet", {In("lngAppUserID", kLong), InOut("sXmlTopNav")}),
      Long("AppUserPageAccessCheck",
           {In("lngAppUserID", kLong), In("lngHtmlPageID"), InOut("bCanAccessPage")}),
  };
}

std::vector<MethodInfo> ReportsMethods() {
  return {
      {"HeartBitCheck", {}, kBStr},
      Long("EventExclusionGridXmlGet", {InOut("sXmlExclusionGrid")}),
      Long("ExclusionListSubmit",
           {In("sXmlEventExclusionDelete", kBStr), InOut("sXmlEventExclusionInsert", kBStr)}),
      Long("MenuXmlGet", {InOut("sXmlMenuTree")}),
      Long("SqlQueryGenerate", {In("sXml", kBStr), InOut("sql")}),
      Long("LogEntryPageIdsGetFromDB", {In("sql", kBStr), InOut("sXml")}),
      Long("LogEntryPageDetailsGetFromDB", {InOut("sXml")}),
      Long("TwoFieldListFromDBGet", {In("sSpName", kBStr), InOut("sXml")}),
      Long("ServerListGet", {InOut("sXml")}),
      Long("ServerAdd", {InOut("sXml")}),
      Long("ServerDisable", {In("lngELServerID")}),
      Long("LogEntryTop1000Delete", {In("lngELServerID")}),
      Long("ServerDelete", {In("lngELServerID")}),
      Long("LogEntriesClear", {In("datTimeGenerated", kBStr)}),
      Long("LogReportSave", {In("lngAppUserID", kLong), In("sSavedReportDescription", kBStr),
                             In("sSavedReportMetaData", kBStr)}),
      Long("SavedReportListGet", {In("lngAppUserID", kLong), InOut("sXml")}),
      Long("SavedReportDelete", {In("lngSavedReportHdrID")}),
      Long("SavedReportGet", {In("lngSavedReportHdrID", kLong), InOut("sSavedReportDescription"),
                              InOut("sSavedReportMetaData")}),
      {"TextSqlMake", {In("sql", kBStr)}, kBStr},
      Long("AlertHdrUpdate",
           {In("appUserID", kLong), In("alertDesc", kBStr), In("alertMetaData", kBStr),
            Optional(InOut("alertHdrID"), com::Variant(std::int16_t{-1}))}),
      Long("AlertListGet", {InOut("sXml")}),
      Long("AlertHdrSetStatus", {In("alertHdrID"), In("statusFlag", kShort)}),
      Long("AlertDelete", {In("alertHdrID")}),
      Long("AlertHdrGet", {In("alertHdrID", kLong), InOut("alertDesc"), InOut("alertMetaData")}),
      Long("ServerLogTypeFilterListGet", {In("qryFragment"), InOut("sXml")}),
      Long("EventSourceListGet", {In("qryFragment"), InOut("sXml")}),
      Long("EventTypeListGet", {In("qryFragment"), InOut("sXml")}),
      Long("EventCategoryListGet", {In("qryFragment"), InOut("sXml")}),
      Long("AlertRecipientUpdate", {In("sXmlAlertSchedule", kBStr)}),
      Long("AlertScheduleGet", {In("alertHdrID", kBStr), InOut("sXml")}),
      Long("AlertRecipientRemove", {In("alertHdrID", kLong), In("alertRecipientID", kLong)}),
      Long("SqlForAlertGenerate",
           {In("alertHdrID", kBStr), InOut("sql"), Optional(In("sXml", kBStr), com::Variant(""))}),
  };
}

}  // namespace

const com::InterfaceInfo& ReportsInterface() {
  static const com::InterfaceInfo info("_Reports", com::Guid::FromString(kReportsIid),
                                       ReportsMethods());
  return info;
}

const com::InterfaceInfo& AppAdminInterface() {
  static const com::InterfaceInfo info("_AppAdmin", com::Guid::FromString(kAppAdminIid),
                                       AppAdminMethods());
  return info;
}

const com::InterfaceInfo& InterfaceOf(ComponentClass componentClass) {
  return componentClass == ComponentClass::Reports ? ReportsInterface() : AppAdminInterface();
}

std::string_view ClassName(ComponentClass componentClass) {
  return componentClass == ComponentClass::Reports ? "Reports" : "AppAdmin";
}

std::optional<ComponentClass> ClassByName(std::string_view name) {
  for (ComponentClass candidate : {ComponentClass::Reports, ComponentClass::AppAdmin}) {
    std::string_view known = ClassName(candidate);
    if (known.size() == name.size() && strncasecmp(known.data(), name.data(), name.size()) == 0) {
      return candidate;
    }
  }
  return std::nullopt;
}

const com::ServerInfo& ComponentServer() {
  static const com::ServerInfo server = [] {
    com::ServerInfo info;
    info.typeLibName = std::string(kComponentName);
    info.libid = com::Guid::FromString(kLibId);
    info.classes = {
        {"AppAdmin", com::Guid::FromString(kAppAdminClsid), "TamselReportsCom.AppAdmin",
         &AppAdminInterface(), &FactoryOf(ComponentClass::AppAdmin)},
        {"Reports", com::Guid::FromString(kReportsClsid), "TamselReportsCom.Reports",
         &ReportsInterface(), &FactoryOf(ComponentClass::Reports)},
    };
    return info;
  }();
  return server;
}

}  // namespace tamsel::reports
