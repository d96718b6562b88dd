<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:user="urn:user">
  <xsl:output method="text"/>
  <msxsl:script implements-prefix="user">
    function check(n) {
      if (n > 1) throw new Error("value out of range: " + n);
      return n;
    }
    function deep(n) { return deep(n + 1); }
    function deeper(n) { return 1 + deeper(n + 1); }
  </msxsl:script>
  <xsl:template match="/">
    <xsl:value-of select="user:check(1)"/>
    <xsl:value-of select="user:deeper(0)"/>
  </xsl:template>
</xsl:stylesheet>
