/* The texts of the failure report and of the fault messages, in UTF-8, with their numbers
   in the program's string table. Read both by the C++ code (the texts as constants where
   there is no string table) and by the resource compiler (AutoQuillmer.rc), so plain
   preprocessor definitions only. */
#pragma once

#define AQ_IDS_REPORT_CAPTION 100
#define AQ_IDS_REPORT_TEMPLATE 101
#define AQ_IDS_OUT_OF_MEMORY 102
#define AQ_IDS_INVALID_POINTER 103
#define AQ_IDS_ACCESS_VIOLATION_IN_MODULE 104
#define AQ_IDS_ACCESS_VIOLATION 105
#define AQ_IDS_ACCESS_READ 106
#define AQ_IDS_ACCESS_WRITE 107
#define AQ_IDS_DIV_BY_ZERO 108
#define AQ_IDS_ZERO_DIVIDE 109
#define AQ_IDS_INT_OVERFLOW 110
#define AQ_IDS_RANGE_ERROR 111
#define AQ_IDS_INVALID_OP 112
#define AQ_IDS_OVERFLOW 113
#define AQ_IDS_UNDERFLOW 114
#define AQ_IDS_STACK_OVERFLOW 115
#define AQ_IDS_PRIVILEGE 116
#define AQ_IDS_CONTROL_C 117
#define AQ_IDS_EXTERNAL_EXCEPTION 118

#define AQ_STR_REPORT_CAPTION "アプリケーション エラー"
#define AQ_STR_REPORT_TEMPLATE "%sがモジュール %s の %p で発生しました。\n%s%s"
#define AQ_STR_OUT_OF_MEMORY "メモリが足りません"
#define AQ_STR_INVALID_POINTER "無効なポインタ操作"
#define AQ_STR_ACCESS_VIOLATION_IN_MODULE                                                          \
  "モジュール '%1:s' のアドレス %0:p でアドレス %3:p に対する%2:s違反がおきました。"
#define AQ_STR_ACCESS_VIOLATION "アドレス %0:p でアドレス %2:p に対する%1:s違反がおきました。"
#define AQ_STR_ACCESS_READ "読み込み"
#define AQ_STR_ACCESS_WRITE "書き込み"
#define AQ_STR_DIV_BY_ZERO "ゼロによる除算"
#define AQ_STR_ZERO_DIVIDE "浮動小数点数のゼロによる除算"
#define AQ_STR_INT_OVERFLOW "整数オーバーフロー"
#define AQ_STR_RANGE_ERROR "範囲チェック エラー"
#define AQ_STR_INVALID_OP "無効な浮動小数点演算"
#define AQ_STR_OVERFLOW "浮動小数点数のオーバーフロー"
#define AQ_STR_UNDERFLOW "浮動小数点数のアンダーフロー"
#define AQ_STR_STACK_OVERFLOW "スタック オーバーフロー"
#define AQ_STR_PRIVILEGE "特権命令"
#define AQ_STR_CONTROL_C "Ctrl+C による中断"
#define AQ_STR_EXTERNAL_EXCEPTION "外部例外 %x"
