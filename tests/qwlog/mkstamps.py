#!/usr/bin/env python3
"""Writes the golden logs of the stamp forms ([LOG] STAMP=MS|US, THREAD=1) and their expected
JSON, both from the records below, so that the reader is checked against what the format says
rather than against itself: one file per form (readings .000, .000999, .999, .999999999 and
just before midnight, an entry and a dump at each) and one file whose sessions mix the forms.
    tests/qwlog/mkstamps.py tests/qwlog/golden"""
import json,sys,os
out=sys.argv[1]
def stamp(t,frac,th):
    s=t+(("."+frac) if frac else "")
    if th is not None: s+=" [%d]"%th
    return s
def dumptext(st,arrow,data,hexr=True):
    head=st+arrow; o=""
    for i in range(0,max(len(data),1),16):
        line=data[i:i+16]
        vals="".join(("%02X " if hexr else "%02d ")%b for b in line)
        if len(vals)>=48: vals+=";"
        lab=("%08Xh: " if hexr else "%08dd: ")%i
        o+=(head if i==0 else " "*len(head))+lab+vals+"\r\n"
    return o+"\r\n"
BANNER="\r\n------\r\n\r\n\r\n"
def build(name, sessions):
    for sub in ("2024-03-05", "expected"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    txt=""; recs=[]; line=1
    fn="2024-03-05/"+name
    for sess in sessions:
        recs.append({"file":fn,"line":line,"time":"2024-03-05 09:08:07","time_from":"file name","kind":"open"})
        txt+=BANNER; line+=4
        for r in sess:
            kind,t,frac,th=r[0],r[1],r[2],r[3]
            st=stamp(t,frac,th); time=t+(("."+frac) if frac else "")
            rec={"file":fn,"line":line,"time":time}
            if th is not None: rec["thread"]=th
            if kind=="entry":
                text=r[4]; txt+=st+"  "+text+"\r\n\r\n"; line+=2+text.count("\n")
                rec["kind"]="entry"; rec["text"]=text
            else:
                bout,hexr,data=r[4],r[5],r[6]
                d=dumptext(st," --> " if bout else " <-- ",data,hexr); txt+=d; line+=d.count("\n")
                rec.update({"kind":"dump","dir":"out" if bout else "in","radix":"hex" if hexr else "dec","bytes":bytes(data).hex(),"complete":True})
            recs.append(rec)
    open(os.path.join(out,"2024-03-05",name),"wb").write(txt.encode())
    with open(os.path.join(out,"expected",name[:-4]+".jsonl"),"w") as f:
        for r in recs: f.write(json.dumps(r,separators=(",",":"))+"\n")
def steps(digits,th):
    fr=lambda n: ("%09d"%n)[:digits] if digits else ""
    return [("entry","2024-03-05 09:08:07",fr(0),th,"at the second"),
            ("dump","2024-03-05 09:08:07",fr(999999),th,True,True,list(range(20))),
            ("entry","2024-03-05 09:08:07",fr(999000000),th,"line one\r\nline two"),
            ("dump","2024-03-05 09:08:07",fr(999999999),th,False,False,[200,5,99,100,255]*4),
            ("entry","2024-03-05 23:59:59",fr(999999999),th,"before midnight")]
build("090807_ms.log",[steps(3,None)])
build("090807_us.log",[steps(6,None)])
build("090807_thread.log",[steps(0,4711)])
build("090807_us_thread.log",[steps(6,4294967295)])
build("090807_mixed.log",[
  [("entry","2024-03-05 09:08:07","",None,"whole seconds"),("dump","2024-03-05 09:08:07","",None,True,True,list(range(17)))],
  [("entry","2024-03-05 09:08:07","250",None,"milliseconds"),("dump","2024-03-05 09:08:07","250",None,False,True,list(range(33)))],
  [("entry","2024-03-05 09:08:07","250001",7,"microseconds and thread 7"),("dump","2024-03-05 09:08:08","000000",815,True,True,list(range(18))),
   ("entry","2024-03-05 09:08:08","000000",7,"  [3] a message that looks like a thread")],
  [("entry","2024-03-05 09:08:09","",4711,"whole seconds and thread"),("entry","2024-03-05 09:08:09","",None,"[9] not a thread")],
])
