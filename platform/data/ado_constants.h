// ADO's numbers for command types, execute options, parameter directions, data types and
// object states, kept as ADO spells them so callers read like their algorithms.
#pragma once

#include <cstdint>

namespace tamsel::platform::data {

// CommandTypeEnum
inline constexpr long adCmdText = 1;
inline constexpr long adCmdTable = 2;
inline constexpr long adCmdStoredProc = 4;
inline constexpr long adCmdUnknown = 8;

// ExecuteOptionEnum
inline constexpr long adOptionUnspecified = -1;
inline constexpr long adExecuteNoRecords = 128;

// ParameterDirectionEnum
inline constexpr long adParamInput = 1;
inline constexpr long adParamOutput = 2;
inline constexpr long adParamInputOutput = 3;
inline constexpr long adParamReturnValue = 4;

// DataTypeEnum (those a parameter may declare)
inline constexpr long adEmpty = 0;
inline constexpr long adSmallInt = 2;
inline constexpr long adInteger = 3;
inline constexpr long adDouble = 5;
inline constexpr long adDate = 7;
inline constexpr long adBSTR = 8;
inline constexpr long adBoolean = 11;
inline constexpr long adTinyInt = 16;
inline constexpr long adBigInt = 20;
inline constexpr long adDBDate = 133;
inline constexpr long adDBTimeStamp = 135;
inline constexpr long adChar = 129;
inline constexpr long adWChar = 130;
inline constexpr long adVarChar = 200;
inline constexpr long adLongVarChar = 201;
inline constexpr long adVarWChar = 202;
inline constexpr long adLongVarWChar = 203;

// ObjectStateEnum
inline constexpr long adStateClosed = 0;
inline constexpr long adStateOpen = 1;

// ConnectOptionEnum
inline constexpr long adConnectUnspecified = -1;

}  // namespace tamsel::platform::data
