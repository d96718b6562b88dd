<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:user="urn:user">
  <xsl:output method="text"/>
  <xsl:template match="/"><xsl:value-of select="user:Twice(2)"/></xsl:template>


  <msxsl:script language="C#" implements-prefix="user">
    public double Twice(double n) { return n * 2; }
  </msxsl:script>
</xsl:stylesheet>
