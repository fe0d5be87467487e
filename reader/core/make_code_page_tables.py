#!/usr/bin/python3
# Writes code_page_tables.inc from Python's code page codecs:
#   /usr/bin/python3 reader/core/make_code_page_tables.py && mv code_page_tables.inc reader/core/
import codecs
pages = [(437,'cp437'),(737,'cp737'),(775,'cp775'),(850,'cp850'),(852,'cp852'),(855,'cp855'),(857,'cp857'),
 (860,'cp860'),(861,'cp861'),(862,'cp862'),(863,'cp863'),(865,'cp865'),(866,'cp866'),(869,'cp869'),
 (874,'cp874'),(1250,'cp1250'),(1251,'cp1251'),(1252,'cp1252'),(1253,'cp1253'),(1254,'cp1254'),(1255,'cp1255'),
 (1256,'cp1256'),(1257,'cp1257'),(1258,'cp1258'),(10000,'mac_roman'),(10006,'mac_greek'),(10007,'mac_cyrillic'),
 (10029,'mac_latin2'),(10079,'mac_iceland'),(10081,'mac_turkish')]
out=[]
out.append('// Upper halves (bytes 0x80 to 0xFF) of the single-byte code pages that')
out.append('// BIFF2 to BIFF7 workbooks name in their CODEPAGE record, as Unicode code')
out.append('// points. Bytes a code page leaves undefined map to the code point of the')
out.append('// same value (the C1 controls), as the Windows conversion does, so no byte')
out.append('// is lost. Generated once from the published code page tables.')
out.append('// clang-format off')
for cp,name in pages:
    vals=[]
    for b in range(0x80,0x100):
        try:
            u=bytes([b]).decode(name)
            vals.append(ord(u) if len(u)==1 else b)
        except UnicodeDecodeError:
            vals.append(b)
    # low half must be ASCII for our fast path
    for b in range(0x80):
        try: assert bytes([b]).decode(name)==chr(b), (cp,b)
        except UnicodeDecodeError: pass
    out.append('{%d, {' % cp)
    for i in range(0,128,16):
        out.append('  ' + ', '.join('0x%04X'%v for v in vals[i:i+16]) + ',')
    out.append('}},')
out.append('// clang-format on')
open('code_page_tables.inc','w').write('\n'.join(out)+'\n')
