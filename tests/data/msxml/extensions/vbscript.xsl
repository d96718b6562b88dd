<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:user="urn:user">
  <xsl:output method="text"/>
  <msxsl:script language="VBScript" implements-prefix="user">
    Function Twice(n)
      Twice = n * 2
    End Function
  </msxsl:script>
  <xsl:template match="/"><xsl:value-of select="user:Twice(2)"/></xsl:template>
</xsl:stylesheet>
