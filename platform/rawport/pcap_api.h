// What rawport takes from outside: the part of the pcap API it uses (wpcap.dll, loaded at run
// time: Npcap on Windows, Wine's bridge to libpcap under Wine) and the station address of an
// adapter (from the IP helper). One table, so that tests can put a capture of their own in
// its place and drive rawport's failure paths.
#pragma once

#include <windows.h>

#include <stdint.h>

struct pcap_t;
struct pcap_if_t {
    pcap_if_t* next;
    char* name;
    char* description;
    void* addresses;
    unsigned flags;
};
struct pcap_pkthdr {
    long tv_sec;
    long tv_usec;
    unsigned caplen;
    unsigned len;
};
struct bpf_insn {
    uint16_t code;
    uint8_t jt;
    uint8_t jf;
    uint32_t k;
};
struct bpf_program {
    unsigned bf_len;
    bpf_insn* bf_insns;
};
const unsigned kPcapLoopback = 0x01;
const unsigned kPcapUp = 0x02;
const int kDltEthernet = 1;

struct tPcapApi {
    int (*findalldevs)(pcap_if_t**, char*) = nullptr;
    void (*freealldevs)(pcap_if_t*) = nullptr;
    pcap_t* (*open_live)(const char*, int, int, int, char*) = nullptr;
    void (*close)(pcap_t*) = nullptr;
    int (*datalink)(pcap_t*) = nullptr;
    int (*setnonblock)(pcap_t*, int, char*) = nullptr;
    int (*next_ex)(pcap_t*, pcap_pkthdr**, const uint8_t**) = nullptr;
    int (*sendpacket)(pcap_t*, const uint8_t*, int) = nullptr;
    int (*setfilter)(pcap_t*, bpf_program*) = nullptr;
    // Optional: the two-step open that lets us size the capture ring.
    pcap_t* (*create)(const char*, char*) = nullptr;
    int (*set_snaplen)(pcap_t*, int) = nullptr;
    int (*set_promisc)(pcap_t*, int) = nullptr;
    int (*set_timeout)(pcap_t*, int) = nullptr;
    int (*set_immediate_mode)(pcap_t*, int) = nullptr;
    int (*set_buffer_size)(pcap_t*, int) = nullptr;
    int (*activate)(pcap_t*) = nullptr;
    // Not pcap: the station address of an adapter by its pcap name.
    bool (*stationAddress)(const char* name, uint8_t out[6]) = nullptr;

    bool Ok() const
    {
        return findalldevs && freealldevs && open_live && close && datalink && setnonblock && next_ex &&
               sendpacket && setfilter && stationAddress;
    }
};

// The table in use: wpcap.dll's (bound once), or the one a test put in place.
const tPcapApi& Pcap();
// Puts another table in place; none: wpcap.dll again.
void SetPcapApi(const tPcapApi* api);
