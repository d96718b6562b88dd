<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:user="urn:user">
  <xsl:output method="text"/>
  <msxsl:script implements-prefix="user">
    function twice(n) {
      return n * 2;
    }
    function broken( {
  </msxsl:script>
  <xsl:template match="/"><xsl:value-of select="user:twice(2)"/></xsl:template>
</xsl:stylesheet>
