// Building a DBV2_SET_DLP_CFG message with both DLP records, as the import
// does once per domain, and loading it back and reading its body as the
// service would.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dbclient/MsgSerializer.h"
#include "dbclient/ipc_records.h"

namespace {

void BM_DlpConfigMessageRoundTrip(benchmark::State& state) {
  const std::vector<std::u16string> uids = {u"3f2504e0-4f89-11d3-9a0c-0305e82c3301"};
  tagCln_DlpDCCfg dc;
  dc.m_dwDCFlagIn = 1;
  dc.m_strDevExceptionListIn = u"USB\\VID_0781&PID_5567;USB\\VID_090C&PID_1000";
  tagCln_DlpClcCfg clc;
  clc.m_strChannelListIn = u"1;2;3;4;5;6";
  clc.m_strTemplateIn = u"{6a1b6c0e-0d4f-4d43-9c1e-1f7f3b0b9a11};{8c4f}";
  clc.m_strIpWlIn = u"10.0.0.0/8;192.168.0.0/16";
  clc.m_strEmailBlOut = u"*@example.com";
  for (auto _ : state) {
    CMsgSerializer msg(u"DBV2_SET_DLP_CFG");
    msg << uids << int32_t{2};
    msg.WriteObject(dc);
    msg.WriteObject(clc);
    msg.FinishForSend();

    CMsgSerializer received(nullptr, CMsgSerializer::kModeMemory, 0, 0);
    received.Load(msg.GetBytes(), msg.GetByteLength());
    std::vector<std::u16string> uids_back;
    int32_t two = 0;
    tagCln_DlpDCCfg dc_back;
    tagCln_DlpClcCfg clc_back;
    received >> uids_back >> two;
    received.ReadObject(dc_back);
    received.ReadObject(clc_back);
    benchmark::DoNotOptimize(clc_back.m_strUsbBlOut.data());
  }
}
BENCHMARK(BM_DlpConfigMessageRoundTrip);

}  // namespace
